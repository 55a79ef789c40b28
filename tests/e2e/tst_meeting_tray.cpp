#include "app/Application.h"
#include "shell/MainWindow.h"
#include "shell/Tray.h"
#include "calls/MeetingRecorder.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "core/Log.h"
#include "model/Store.h"
#include "fakes/FakeMeetingMic.h"
#include "support/AtspiReader.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroSignal>
#include <QMenu>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtEndian>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QString kWindow = u"Ombry Voice"_s;

QByteArray tone(int hz, int seconds)
{
    QByteArray pcm(16000 * 2 * seconds, Qt::Uninitialized);
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    for (int i = 0; i < 16000 * seconds; ++i)
        s[i] = qToLittleEndian(qint16(7000 * std::sin(2 * M_PI * hz * i / 16000.0)));
    return pcm;
}

} // namespace

// A meeting started and stopped from the tray menu on the private desktop,
// while the main window's status card says so.
class TestMeetingTray : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::shared_ptr<FakeMeetingMic> mic_ = std::make_shared<FakeMeetingMic>();
    QList<QByteArray> wavs_; // what the transcription was sent
    QStringList sounds_;
    bool hold_ = false; // transcriptions wait for released()

    // The meeting entry of the tray menu as the menu shows it: "*" when checked,
    // "!" when disabled; empty when absent.
    QString meetingItem() const
    {
        for (QAction *action : root_->tray()->menu()->actions()) {
            const QString text = action->text();
            if (text != u"Démarrer une réunion"_s && text != u"Arrêter la réunion"_s)
                continue;
            return (action->isEnabled() ? QString() : u"!"_s) + (action->isChecked() ? u"*"_s : QString()) + text;
        }
        return {};
    }

    void triggerMeetingItem()
    {
        for (QAction *action : root_->tray()->menu()->actions())
            if (action->text() == u"Démarrer une réunion"_s || action->text() == u"Arrêter la réunion"_s) {
                action->trigger();
                return;
            }
        QFAIL("no meeting item in the tray menu");
    }

    QString statusTitle() const
    {
        QQuickItem *content = root_->mainWindow()->content();
        auto *item = content ? content->findChild<QQuickItem *>(u"statusTitle"_s) : nullptr;
        return item ? item->property("text").toString() : u"(absent)"_s;
    }

    // The status card as a screen reader finds it.
    bool statusReads(const QString &title) const
    {
        return AtspiReader(kWindow).find(u"status bar"_s, title, 5000).has_value();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        Defaults::standard().set(u"onboarded"_s, true);
        // A user with a key: the status card reads "Prêt".
        qputenv("OPENROUTER_API_KEY", "sk-or-test");
        // Instant engines that keep what they get.
        Application::Options options;
        options.meetings = [this](MeetingServices &s) {
            s.microphoneAllowed = [] { return true; };
            s.makeCapture = FakeMeetingMic::maker(mic_);
            s.transcribe = [this](QByteArray wav, QString, QStringList) -> QCoro::Task<QString> {
                wavs_ << wav;
                if (hold_)
                    co_await qCoro(this, &TestMeetingTray::released);
                co_return u"On commence le point projet."_s;
            };
            s.complete = [](QString, QString, QString) -> QCoro::Task<QString> {
                co_return uR"({"title":"Point projet","summary":"Résumé.","tasks":["Envoyer le devis"]})"_s;
            };
            s.playSound = [this](const QString &name) { sounds_ << name; };
        };
        root_ = std::make_unique<Application>(options);
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(root_->mainWindow()->window()));
    }

    void cleanupTestCase() { root_.reset(); }

    void trayItemStartsAndStopsAMeeting()
    {
        MeetingRecorder *recorder = root_->meetingRecorder();
        QCOMPARE(meetingItem(), u"Démarrer une réunion"_s);
        QCOMPARE(statusTitle(), u"Prêt"_s);
        QVERIFY(statusReads(u"Prêt"_s));

        triggerMeetingItem();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Recording; }));
        QCOMPARE(statusTitle(), u"Réunion en cours"_s);
        QVERIFY(statusReads(u"Réunion en cours"_s));
        // The menu follows the recorder without being opened.
        QVERIFY(TestEnv::waitFor([&] { return meetingItem() == u"*Arrêter la réunion"_s; }, 3000));
        // The meeting outranks the dictation.
        root_->controller()->setState(DictationController::State::Recording);
        QCOMPARE(statusTitle(), u"Réunion en cours"_s);
        root_->controller()->setState(DictationController::State::Idle);

        // Five seconds of a tone, spooled as they come.
        const QByteArray spoken = tone(440, 5);
        QVERIFY(mic_->feed(spoken));

        QSignalSpy processed(recorder, &MeetingRecorder::processed);
        triggerMeetingItem();
        QVERIFY(TestEnv::waitFor([&] { return processed.size() == 1; }, 20000));
        QCOMPARE(recorder->state(), MeetingRecorder::State::Idle);
        QVERIFY(TestEnv::waitFor([&] { return meetingItem() == u"Démarrer une réunion"_s; }, 3000));
        QCOMPARE(statusTitle(), u"Prêt"_s);
        QVERIFY(statusReads(u"Prêt"_s));
        QCOMPARE(sounds_, (QStringList{u"Tink"_s, u"Pop"_s}));

        // The tone is what was sent, sample for sample.
        QCOMPARE(wavs_.size(), 1);
        const QByteArray sent = wavs_.first().mid(44);
        const qsizetype at = sent.indexOf(spoken);
        QVERIFY2(at >= 0 && at % 2 == 0, "the tone is not in the recording sent");
        const QList<Meeting> meetings = root_->store()->meetings();
        QCOMPARE(meetings.size(), 1);
        QCOMPARE(meetings.first().title, u"Point projet"_s);
        QCOMPARE(meetings.first().duration, 5.0);
        QVERIFY(!QFile::exists(recorder->spoolPath()));
    }

    // While a meeting is worked on, the item offers the start again, the card
    // no longer says a meeting is recorded, and a press changes nothing.
    void trayItemWhileProcessing()
    {
        MeetingRecorder *recorder = root_->meetingRecorder();
        sounds_.clear();
        hold_ = true;
        triggerMeetingItem();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Recording; }));
        QVERIFY(mic_->feed(tone(660, 4)));
        QSignalSpy processed(recorder, &MeetingRecorder::processed);
        triggerMeetingItem();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Processing; }));
        QVERIFY(TestEnv::waitFor([&] { return meetingItem() == u"Démarrer une réunion"_s; }, 3000));
        QCOMPARE(statusTitle(), u"Prêt"_s);
        triggerMeetingItem();
        QCOMPARE(recorder->state(), MeetingRecorder::State::Processing);
        QCOMPARE(sounds_, (QStringList{u"Tink"_s, u"Pop"_s}));
        hold_ = false;
        Q_EMIT released();
        QVERIFY(TestEnv::waitFor([&] { return processed.size() == 1; }, 20000));
        QCOMPARE(recorder->state(), MeetingRecorder::State::Idle);
        QCOMPARE(root_->store()->meetings().size(), 2);
    }

Q_SIGNALS:
    void released();
};

OMBRY_TEST_APP_MAIN(TestMeetingTray)
#include "tst_meeting_tray.moc"
