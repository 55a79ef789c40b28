#include "app/Application.h"
#include "calls/MeetingRecorder.h"
#include "fakes/FakeHttpService.h"
#include "fakes/FakeMeetingMic.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/QmlWindow.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtEndian>

#include <QCoro/QCoroSignal>

#include <cmath>

namespace {

const QString kTitle = QStringLiteral("Ombry Voice — page");

} // namespace

// The meetings page on the private desktop: read, pressed and copied through
// AT-SPI, with a fake microphone and a fake cloud.
class TestMeetingsPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;
    FakeHttpService cloud_;
    std::shared_ptr<FakeMeetingMic> mic_ = std::make_shared<FakeMeetingMic>();
    qint64 clockMs_ = 0; // the recorder's monotonic clock
    bool hold_ = false;  // transcriptions wait for released()

    // A node's state as a screen reader reads it, "" when the node is absent.
    static std::optional<QStringList> statesOf(const AtspiReader &reader, const QString &role, const QString &name)
    {
        const auto node = reader.find(role, name);
        if (!node)
            return std::nullopt;
        return node->states;
    }

    Meeting seeded() const
    {
        Meeting m;
        m.date = QDateTime(QDate(2026, 12, 8), QTime(14, 5));
        m.duration = 3660;
        m.title = QStringLiteral("Point projet");
        m.summary = QStringLiteral("Résumé.");
        m.tasks = {QStringLiteral("Envoyer le devis"), QStringLiteral("Relancer le client <b>jeudi</b>")};
        m.transcript = QStringLiteral("Bonjour à tous.");
        return m;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY(cloud_.start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_.url().toUtf8());
        cloud_.setHandler([](const RecordedRequest &r) {
            if (r.body.contains("input_audio"))
                return ScriptedReply::json(chatCompletion(QStringLiteral("On commence le point projet.")));
            return ScriptedReply::json(chatCompletion(
                QStringLiteral("{\"title\":\"Réunion d\u2019équipe\",\"summary\":\"On a parlé du projet.\",\"tasks\":[]}")));
        });
        Application::Options options;
        options.meetings = [this](MeetingServices &s) {
            s.microphoneAllowed = [] { return true; };
            s.makeCapture = FakeMeetingMic::maker(mic_);
            s.playSound = [](const QString &) {};
            s.clock = [this] { return clockMs_; };
            auto transcribe = s.transcribe;
            s.transcribe = [this, transcribe](QByteArray wav, QString language, QStringList words) -> QCoro::Task<QString> {
                if (hold_)
                    co_await qCoro(this, &TestMeetingsPage::released);
                co_return co_await transcribe(std::move(wav), std::move(language), std::move(words));
            };
        };
        root_ = std::make_unique<Application>(options);
        root_->settings()->setOwnKeyMode(true);
        root_->keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-test")}});

        QString error;
        window_ = QmlWindow::open(root_->engine(), QStringLiteral("PageWindow.qml"), &error);
        QVERIFY2(window_, qPrintable(error));
    }

    void cleanupTestCase()
    {
        window_.reset();
        root_.reset();
    }

    void emptyPage()
    {
        const AtspiReader reader(kTitle);
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Réunions")));
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Démarrer une réunion")));
        QVERIFY(reader.find(QString(), QStringLiteral("Enregistre une réunion, un appel ou une idée à voix haute")));
        QVERIFY(reader.find(QString(),
                            QStringLiteral("Ombry Voice la transcrit, puis te donne un résumé et la liste des choses à faire.")));
        Screenshots::inBothThemes(QStringLiteral("meetings-empty"), [&] { return Screenshots::scene(window_.get()); });
    }

    // Started from the page, stopped, processed: the new card comes first.
    void recordFromThePage()
    {
        MeetingRecorder *recorder = root_->meetingRecorder();
        const AtspiReader reader(kTitle);
        QVERIFY(reader.press(QStringLiteral("Démarrer une réunion"),
                             [&] { return recorder->state() == MeetingRecorder::State::Recording; }));
        // The empty card is gone, the button counts.
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Arrêter · 0:00")));
        // The button counts on the recorder's clock, minutes past the hour included.
        clockMs_ += 65'000;
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Arrêter · 1:05")));
        clockMs_ += 75 * 60'000 - 65'000 + 3'000;
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Arrêter · 75:03")));
        QVERIFY(!reader.shownNames().contains(QStringLiteral("Enregistre une réunion, un appel ou une idée à voix haute")));
        QByteArray pcm(16000 * 2 * 5, Qt::Uninitialized);
        auto *s = reinterpret_cast<qint16 *>(pcm.data());
        for (int i = 0; i < 16000 * 5; ++i)
            s[i] = qToLittleEndian(qint16(6000 * std::sin(2 * M_PI * 440 * i / 16000.0)));
        QVERIFY(mic_->feed(pcm));
        Screenshots::inBothThemes(QStringLiteral("meetings-recording"), [&] { return Screenshots::scene(window_.get()); });
        hold_ = true;
        recorder->toggle();
        // While it is worked on: the progress card, the start offered but disabled.
        QVERIFY(reader.find(QString(), QStringLiteral("Transcription 1/1…")));
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Démarrer une réunion")));
        auto *button = window_->findChild<QQuickItem *>(QStringLiteral("recordButton"));
        if (!button)
            button = window_->contentItem()->findChild<QQuickItem *>(QStringLiteral("recordButton"));
        QVERIFY(button);
        QVERIFY(!button->isEnabled());
        // A screen reader's press is refused as a click is.
        QVERIFY(reader.act(QStringLiteral("push button"), QStringLiteral("Démarrer une réunion")));
        QTest::qWait(200);
        QCOMPARE(recorder->state(), MeetingRecorder::State::Processing);
        QVERIFY(!reader.shownNames().contains(QStringLiteral("Enregistre une réunion, un appel ou une idée à voix haute")));
        Screenshots::inBothThemes(QStringLiteral("meetings-processing"), [&] { return Screenshots::scene(window_.get()); });
        hold_ = false;
        Q_EMIT released();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Idle; }, 15000));
        QVERIFY(TestEnv::waitFor([&] { return button->isEnabled(); }));
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Réunion d\u2019équipe")));
        QVERIFY(reader.find(QString(), QStringLiteral("On a parlé du projet.")));
        QCOMPARE(root_->store()->meetings().size(), 1);
    }

    void seededCard()
    {
        root_->store()->addMeeting(seeded());
        const AtspiReader reader(kTitle);
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Point projet")));
        QVERIFY(reader.find(QString(), QStringLiteral("mardi 8 déc. 14:05 · 61 min")));
        // Outside text stays text.
        QVERIFY(reader.find(QString(), QStringLiteral("Relancer le client <b>jeudi</b>")));
        const auto fold = reader.find(QString(), QStringLiteral("Transcription complète"));
        QVERIFY(fold);
        QVERIFY(!reader.shownNames().contains(QStringLiteral("Bonjour à tous.")));
        QVERIFY2(reader.act(fold->role, fold->name), qPrintable(fold->role));
        QVERIFY(reader.find(QString(), QStringLiteral("Bonjour à tous.")));
        Screenshots::inBothThemes(QStringLiteral("meetings-cards"), [&] { return Screenshots::scene(window_.get()); });
    }

    // Ticks are the card's own: pressed on and off, forgotten with the page.
    void tasksTick()
    {
        const QString task = QStringLiteral("Relancer le client <b>jeudi</b>");
        const QString role = QStringLiteral("check box");
        auto ticked = [&] {
            const auto states = statesOf(AtspiReader(kTitle), role, task);
            return states && states->contains(QStringLiteral("checked"));
        };
        QVERIFY(statesOf(AtspiReader(kTitle), role, task));
        QVERIFY(!ticked());
        QVERIFY(AtspiReader(kTitle).act(role, task));
        QVERIFY(TestEnv::waitFor(ticked));
        // Only that task.
        const auto other = statesOf(AtspiReader(kTitle), role, QStringLiteral("Envoyer le devis"));
        QVERIFY(other && !other->contains(QStringLiteral("checked")));
        Screenshots::inBothThemes(QStringLiteral("meetings-ticked"), [&] { return Screenshots::scene(window_.get()); });
        QVERIFY(AtspiReader(kTitle).act(role, task));
        QVERIFY(TestEnv::waitFor([&] { return !ticked(); }));
        QVERIFY(AtspiReader(kTitle).act(role, task));
        QVERIFY(TestEnv::waitFor(ticked));
        // Away and back: a new page, nothing ticked.
        window_->setProperty("page", QStringLiteral("calls"));
        QVERIFY(TestEnv::waitFor([&] { return !statesOf(AtspiReader(kTitle), role, task); }));
        window_->setProperty("page", QStringLiteral("meetings"));
        QVERIFY(TestEnv::waitFor([&] { return statesOf(AtspiReader(kTitle), role, task).has_value(); }));
        QVERIFY(!ticked());
        QCOMPARE(root_->store()->meetings().first().tasks.size(), 2);
    }

    void copyGivesThePlainText()
    {
        QGuiApplication::clipboard()->clear();
        QVERIFY(AtspiReader(kTitle).press(QStringLiteral("Copier"), [] {
            return QGuiApplication::clipboard()->text()
                == QStringLiteral("Point projet\n\nRésumé.\n\n- Envoyer le devis\n- Relancer le client <b>jeudi</b>");
        }));
    }

    void deleteRewritesTheFile()
    {
        Store *store = root_->store();
        QCOMPARE(store->meetings().size(), 2);
        QVERIFY(AtspiReader(kTitle).press(QStringLiteral("Supprimer"), [&] { return store->meetings().size() == 1; }));
        store->flush();
        const QJsonArray saved = QJsonDocument::fromJson(
            TestEnv::readFile(QDir(store->dataFolder()).filePath(QStringLiteral("meetings.json")))).array();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.at(0).toObject().value(QStringLiteral("title")).toString(), QStringLiteral("Réunion d\u2019équipe"));

        // The last one gone, the empty card is back.
        QVERIFY(AtspiReader(kTitle).press(QStringLiteral("Supprimer"), [&] { return store->meetings().isEmpty(); }));
        QVERIFY(AtspiReader(kTitle).find(QString(), QStringLiteral("Enregistre une réunion, un appel ou une idée à voix haute")));
        store->flush();
        QCOMPARE(QJsonDocument::fromJson(
                     TestEnv::readFile(QDir(store->dataFolder()).filePath(QStringLiteral("meetings.json")))).array().size(),
                 0);
    }

Q_SIGNALS:
    void released();
};

OMBRY_TEST_APP_MAIN(TestMeetingsPage)
#include "tst_meetings_page.moc"
