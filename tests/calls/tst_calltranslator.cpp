#include "app/Wiring.h"
#include "calls/CallAudioQueue.h"
#include "calls/CallTranslator.h"
#include "engines/EngineError.h"
#include "fakes/FakeAppCapture.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "platform/PulseContext.h"
#include "model/Store.h"
#include "model/Defaults.h"
#include "core/Log.h"
#include "support/TestEnv.h"

#include <QCoro/QCoroTimer>
#include <QLocalServer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <vector>

namespace {

// Cloud answers by segment number: (en, fr), or a failure; a delay in ms.
struct Answer
{
    QString en;
    QString fr;
    bool fail = false;
    int delayMs = 0;
};

struct Rig
{
    std::shared_ptr<FakeAppCapture::Board> board = std::make_shared<FakeAppCapture::Board>();
    QList<Answer> answers;
    QStringList contexts;
    QList<QByteArray> wavs;
    QStringList translated; // texts handed to the fallback
    bool fallbackFails = false;
    bool sound = true;
    // The sound check answers after this long; or is this one instead.
    int soundDelayMs = 0;
    std::function<QCoro::Task<bool>()> soundCheck;
    int soundChecks = 0;
    int soundAnswers = 0;
    int shown = 0;
    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<CallTranslator> call;

    explicit Rig(const QString &folder)
    {
        defaults = std::make_unique<Defaults>(QStringLiteral("calls"), folder);
        CallServices s;
        s.transcribe = [this](QByteArray wav, QString context) -> QCoro::Task<GeminiSpeech::Translated> {
            const qsizetype n = wavs.size();
            wavs << wav;
            contexts << context;
            const Answer a = n < answers.size() ? answers.at(n) : Answer{};
            if (a.delayMs > 0) {
                QTimer timer;
                timer.setSingleShot(true);
                timer.start(a.delayMs);
                co_await timer;
            }
            if (a.fail)
                throw EngineError::http(QStringLiteral("OpenRouter"), 502, QStringLiteral("Bad gateway"));
            co_return GeminiSpeech::Translated{a.en, a.fr};
        };
        s.translate = [this](QString text) -> QCoro::Task<QString> {
            translated << text;
            if (fallbackFails)
                throw EngineError::http(QStringLiteral("Apple"), 0, QStringLiteral("indisponible"));
            co_return QStringLiteral("FR:") + text;
        };
        s.makeCapture = [this] { return std::make_unique<FakeAppCapture>(board); };
        s.soundAvailable = [this]() -> QCoro::Task<bool> {
            ++soundChecks;
            bool answer = sound;
            if (soundCheck) {
                QCoro::Task<bool> asking = soundCheck();
                answer = co_await std::move(asking);
            } else if (soundDelayMs > 0) {
                QTimer timer;
                timer.setSingleShot(true);
                timer.start(soundDelayMs);
                co_await timer;
            }
            ++soundAnswers;
            co_return answer;
        };
        s.resolveTarget = [](std::optional<QString> id) {
            CaptureTarget t;
            t.bundleId = id;
            return t;
        };
        s.runningName = [](QString id) -> std::optional<QString> {
            if (id == QStringLiteral("org.example.Phone"))
                return QStringLiteral("Téléphone");
            return std::nullopt;
        };
        s.defaults = defaults.get();
        s.paced = false;
        call = std::make_unique<CallTranslator>(std::move(s));
        QObject::connect(call.get(), &CallTranslator::windowRequested, [this] { ++shown; });
    }

    // Plays a phrase (peak 0.5) and a pause as one stream of the last capture.
    void speak(double seconds, double pause = 1.0, quint32 stream = 1)
    {
        QVERIFY(board->last);
        board->last->play(stream, std::vector<float>(size_t(seconds * 16000), 0.5f));
        if (pause > 0)
            board->last->play(stream, std::vector<float>(size_t(pause * 16000), 0.0f));
    }
    bool started() { return TestEnv::waitFor([this] { return board->active > 0 && board->last; }, 3000); }
};

QStringList logLines()
{
    Log::waitUntilWritten();
    QStringList lines;
    for (const QByteArray &line : TestEnv::readFile(Log::path()).split('\n')) {
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0)
            lines << QString::fromUtf8(line.mid(blank + 1));
    }
    return lines;
}

int logged(const QString &prefix)
{
    int n = 0;
    for (const QString &line : logLines())
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

using Line = CallLinesModel::Line;

} // namespace

// The call translator's runs, lines and failures over a scripted capture and cloud.
class TestCallTranslator : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void init()
    {
        Log::waitUntilWritten();
        QFile::remove(Log::path());
    }

    void answers_data()
    {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<int>("phrases");
        QTest::addColumn<QList<Line>>("expected");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("contexts");

        QTest::newRow("each answer fills its line")
            << QList<Answer>{{"Hello.", "Bonjour.", false, 0}, {"Bye.", "Salut.", false, 0}} << 2
            << QList<Line>{{0, "Hello.", "Bonjour.", true}, {1, "Bye.", "Salut.", true}} << ""
            << QStringList{"", "Hello."};
        QTest::newRow("no English: the line goes")
            << QList<Answer>{{"", "", false, 0}, {"Yes.", "Oui.", false, 0}} << 2
            << QList<Line>{{1, "Yes.", "Oui.", true}} << "" << QStringList{"", ""};
        QTest::newRow("English without French: final, empty")
            << QList<Answer>{{"Hm.", "", false, 0}} << 1 << QList<Line>{{0, "Hm.", "", true}} << ""
            << QStringList{""};
        QTest::newRow("answers out of order fill the right lines")
            << QList<Answer>{{"One.", "Un.", false, 300}, {"Two.", "Deux.", false, 0}} << 2
            << QList<Line>{{0, "One.", "Un.", true}, {1, "Two.", "Deux.", true}} << "" << QStringList{"", ""};
        QTest::newRow("every call fails: the failure is told, not 'listening'")
            << QList<Answer>{{"", "", true, 0}, {"", "", true, 0}} << 2
            << QList<Line>{{0, "", "", false}, {1, "", "", false}} << "OpenRouter : erreur 502 Bad gateway"
            << QStringList{"", ""};
        QTest::newRow("a translated line clears the failure")
            << QList<Answer>{{"", "", true, 0}, {"Ok.", "D'accord.", false, 0}} << 2
            << QList<Line>{{0, "", "", false}, {1, "Ok.", "D'accord.", true}} << "" << QStringList{"", ""};
    }

    void answers()
    {
        QFETCH(QList<Answer>, answers);
        QFETCH(int, phrases);
        QFETCH(QList<Line>, expected);
        QFETCH(QString, error);
        QFETCH(QStringList, contexts);

        Rig rig(dir_.path());
        rig.answers = answers;
        rig.call->start();
        QVERIFY(rig.started());
        for (int i = 0; i < phrases; ++i) {
            rig.speak(1.0);
            // One segment at a time keeps the contexts deterministic.
            QVERIFY(TestEnv::waitFor([&] { return rig.wavs.size() == i + 1; }, 3000));
            if (!answers.at(i).fail && answers.at(i).delayMs == 0) {
                QVERIFY(TestEnv::waitFor([&] {
                    const int row = rig.call->linesModel()->rowOf(i);
                    return row < 0 || rig.call->lines().at(row).done;
                }, 3000));
            }
        }
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines() == expected; }, 3000));
        QCOMPARE(rig.call->errorText(), error);
        QCOMPARE(rig.contexts, contexts);
        // The first WAV is the 1 s phrase and its 0.72 s pause behind a 44-byte
        // header; the next ones begin with the rest of the previous pause.
        QCOMPARE(rig.wavs.first().size(), 44 + 27520 * 2);
        for (qsizetype i = 1; i < rig.wavs.size(); ++i)
            QCOMPARE(rig.wavs.at(i).size(), 44 + 32000 * 2);
        QCOMPARE(logged(QStringLiteral("appel: OpenRouter : erreur 502")),
                 int(std::count_if(answers.cbegin(), answers.cend(), [](const Answer &a) { return a.fail; })));
    }

    void runs()
    {
        Rig rig(dir_.path());
        QSignalSpy running(rig.call.get(), &CallTranslator::runningChanged);
        rig.call->start();
        QVERIFY(rig.call->running());
        QCOMPARE(rig.shown, 1);
        QVERIFY(rig.started());
        QVERIFY(TestEnv::waitFor([] { return logged(QStringLiteral("appel: sous-titres démarrés (tout l'ordinateur)")) == 1; }));
        // A start while running changes nothing.
        rig.call->start();
        QCOMPARE(rig.board->made, 1);
        QCOMPARE(rig.shown, 1);

        rig.answers = {{"Hi.", "Salut.", false, 0}};
        rig.speak(1.0);
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == 1 && rig.call->lines().at(0).done; }));
        rig.call->stop();
        QVERIFY(!rig.call->running());
        QCOMPARE(rig.board->active, 0);
        QVERIFY(TestEnv::waitFor([] { return logged(QStringLiteral("appel: arrêt, 1 phrases")) == 1; }));
        // Lines outlive the stop; a second stop does nothing.
        rig.call->stop();
        QCOMPARE(rig.call->lines().size(), 1);
        QCOMPARE(logged(QStringLiteral("appel: arrêt")), 1);
        // The next start clears them; identifiers go on.
        rig.answers << Answer{"Again.", "Encore.", false, 0};
        rig.call->start();
        QVERIFY(rig.call->lines().isEmpty());
        QVERIFY(rig.started());
        rig.speak(1.0);
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == 1 && rig.call->lines().at(0).done; }));
        QCOMPARE(rig.call->lines().at(0).id, 1);
        QCOMPARE(running.count(), 3);
    }

    // A start right after a stop, while the capture queue is still busy with
    // the stop: the stopped run's last sound stays out of the new run.
    void startRightAfterAStop()
    {
        Rig rig(dir_.path());
        rig.answers = {{"Hi.", "Salut.", false, 0}, {"Again.", "Encore.", false, 0}};
        rig.call->start();
        QVERIFY(rig.started());
        rig.speak(1.0, 1.0);
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == 1 && rig.call->lines().at(0).done; }));
        // 0.28 s of pause is still queued, and more sound comes before the queue can flush it.
        QSemaphore hold;
        auto release = qScopeGuard([&hold] { hold.release(); });
        rig.call->audioQueue()->post([&hold] { hold.acquire(); });
        rig.board->last->play(1, std::vector<float>(size_t(0.3 * 16000), 0.5f));
        rig.call->stop();
        rig.call->start();
        QVERIFY(rig.started());
        rig.speak(1.0, 1.0);
        release.dismiss();
        hold.release();
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == 1 && rig.call->lines().at(0).done; }));
        QCOMPARE(rig.call->lines().at(0).en, QStringLiteral("Again."));
        QCOMPARE(rig.wavs.size(), 2);
        QCOMPARE(rig.wavs.last().size(), 44 + 27520 * 2);
    }

    void stopSendsTheLastSegment_data()
    {
        QTest::addColumn<double>("spoken");
        QTest::addColumn<int>("sent");
        QTest::newRow("a phrase still under way is sent") << 1.0 << 1;
        QTest::newRow("half a second or less is dropped") << 0.5 << 0;
    }

    void stopSendsTheLastSegment()
    {
        QFETCH(double, spoken);
        QFETCH(int, sent);
        Rig rig(dir_.path());
        rig.answers = {{"Last.", "Dernier.", false, 0}};
        rig.call->start();
        QVERIFY(rig.started());
        rig.speak(spoken, 0);
        rig.call->stop();
        QTest::qWait(200);
        QCOMPARE(rig.wavs.size(), sent);
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == sent; }));
    }

    // Destroyed while the queue still holds the stop's flush: the flush runs
    // during the destruction and must not reach the queue through the translator.
    void destroyedWithTheFlushQueued()
    {
        // Whether the queue runs the flush before it ends is up to the threads:
        // enough rounds that it does.
        for (int round = 0; round < 12; ++round) {
            Rig rig(dir_.path());
            rig.call->start();
            QVERIFY(rig.started());
            rig.speak(1.0, 0);
            CallTranslator *call = rig.call.get();
            QSemaphore busy;
            // Holds the queue until the translator has let go of it.
            call->audioQueue()->post([call, &busy] {
                busy.release();
                QDeadlineTimer limit(5000);
                while (call->audioQueue() && !limit.hasExpired())
                    QThread::yieldCurrentThread();
            });
            QVERIFY(busy.tryAcquire(1, 5000));
            rig.call->stop();
            rig.call.reset();
        }
    }

    void stopDuringSlowSetUp()
    {
        Rig rig(dir_.path());
        rig.board->setUpMs = 300;
        rig.call->start();
        rig.call->stop();
        QTest::qWait(500);
        QCOMPARE(rig.board->active, 0);
        QVERIFY(!rig.call->running());
        QCOMPARE(logged(QStringLiteral("appel: sous-titres démarrés")), 0);
    }

    void restartLeavesOneCapture()
    {
        Rig rig(dir_.path());
        rig.board->setUpMs = 200;
        rig.call->start();
        rig.call->stop();
        rig.call->start();
        QTest::qWait(500);
        QCOMPARE(rig.board->active, 1);
        QVERIFY(rig.call->running());
        QCOMPARE(logged(QStringLiteral("appel: sous-titres démarrés")), 1);
        // The first run's capture feeds nothing any more.
        rig.answers = {{"One.", "Un.", false, 0}};
        rig.speak(1.0);
        QVERIFY(TestEnv::waitFor([&] { return rig.wavs.size() == 1; }));
        QTest::qWait(100);
        QCOMPARE(rig.wavs.size(), 1);
    }

    void streamStopsByItself()
    {
        Rig rig(dir_.path());
        rig.answers = {{"Cut.", "Coupé.", false, 0}};
        rig.call->start();
        QVERIFY(rig.started());
        rig.speak(1.0, 0);
        rig.board->last->lose(QStringLiteral("Connexion perdue"));
        QVERIFY(!rig.call->running());
        QCOMPARE(rig.call->errorText(), QStringLiteral("Connexion perdue"));
        QCOMPARE(rig.board->active, 0);
        // The phrase gathered so far is not lost.
        QVERIFY(TestEnv::waitFor([&] { return rig.wavs.size() == 1; }));
        // A stop now does nothing; a start works again.
        rig.call->stop();
        QCOMPARE(logged(QStringLiteral("appel: arrêt")), 0);
        rig.call->start();
        QVERIFY(rig.call->running());
        QCOMPARE(rig.call->errorText(), QString());
    }

    void failures_data()
    {
        QTest::addColumn<bool>("sound");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("log");

        QTest::newRow("no sound server") << false << ""
                                         << "Le son de l'ordinateur est inaccessible : vérifie que PulseAudio ou "
                                            "PipeWire fonctionne, puis relance."
                                         << "";
        QTest::newRow("target not running: end of its id")
            << true << "org.example.Tool" << "Ouvre Tool d'abord, puis démarre les sous-titres"
            << "appel: Appel : erreur 0 ouvre Tool d'abord, puis démarre les sous-titres";
        QTest::newRow("an earlier version's id: the application's own name")
            << true << "com.apple.Safari" << "Ouvre Firefox d'abord, puis démarre les sous-titres"
            << "appel: Appel : erreur 0 ouvre Firefox d'abord, puis démarre les sous-titres";
        QTest::newRow("target without a stream: its running name")
            << true << "org.example.Phone" << "Ouvre Téléphone d'abord, puis démarre les sous-titres"
            << "appel: Appel : erreur 0 ouvre Téléphone d'abord, puis démarre les sous-titres";
    }

    void failures()
    {
        QFETCH(bool, sound);
        QFETCH(QString, target);
        QFETCH(QString, error);
        QFETCH(QString, log);
        Rig rig(dir_.path());
        // Lines of an earlier run.
        rig.answers = {{"Before.", "Avant.", false, 0}};
        rig.call->start();
        QVERIFY(rig.started());
        rig.speak(1.0);
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == 1 && rig.call->lines().at(0).done; }));
        rig.call->stop();
        Log::waitUntilWritten();
        QFile::remove(Log::path());

        rig.sound = sound;
        rig.board->absent = true;
        rig.call->setTargetBundleIdText(target);
        rig.call->start();
        QVERIFY(TestEnv::waitFor([&] { return !rig.call->running(); }));
        QCOMPARE(rig.call->errorText(), error);
        QCOMPARE(rig.board->active, 0);
        QCOMPARE(rig.shown, 2);
        // A refused start keeps the lines; a failed set-up comes after they were cleared.
        QCOMPARE(rig.call->lines().size(), sound ? 0 : 1);
        const QStringList lines = logLines();
        QCOMPARE(lines, log.isEmpty() ? QStringList{} : QStringList{log});
    }

    // The sound server is asked off the main thread: one that takes the
    // connection and never answers leaves the event loop running until the
    // check gives up.
    void silentSoundServer()
    {
        QLocalServer silent;
        const QString path = dir_.filePath(QStringLiteral("silent-pulse"));
        QVERIFY(silent.listen(path));
        const QByteArray previous = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(path));
        const auto restore = qScopeGuard([previous] {
            if (previous.isNull())
                qunsetenv("PULSE_SERVER");
            else
                qputenv("PULSE_SERVER", previous);
        });
        PulseContext pulse;
        Rig rig(dir_.path());
        const OmbryAI::Access installed{TestEnv::settings(), TestEnv::keys(), TestEnv::store()};
        rig.soundCheck = Wiring::calls(installed, pulse).soundAvailable;
        bool turned = false;
        bool answeredBeforeTurn = true;
        QTimer::singleShot(0, this, [&] {
            turned = true;
            answeredBeforeTurn = rig.soundAnswers > 0;
        });
        rig.call->start();
        QVERIFY(TestEnv::waitFor([&] { return rig.soundAnswers == 1; }, 10000));
        QVERIFY(turned);
        QVERIFY2(!answeredBeforeTurn, "the main thread waited for the sound server");
        QCOMPARE(rig.call->errorText(), QStringLiteral("Le son de l'ordinateur est inaccessible : vérifie que "
                                                       "PulseAudio ou PipeWire fonctionne, puis relance."));
        QVERIFY(!rig.call->running());
        QCOMPARE(rig.board->made, 0);
        QCOMPARE(rig.shown, 1);
    }

    // What the user does while the sound server is being asked.
    void duringTheSoundCheck_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("made");
        QTest::newRow("stop drops the start") << "stop" << false << 0;
        QTest::newRow("toggle drops the start") << "toggle" << false << 0;
        QTest::newRow("a second start is the same start") << "start" << true << 1;
        QTest::newRow("nothing: it starts") << "" << true << 1;
    }
    void duringTheSoundCheck()
    {
        QFETCH(QString, then);
        QFETCH(bool, running);
        QFETCH(int, made);
        Rig rig(dir_.path());
        rig.soundDelayMs = 150;
        rig.call->start();
        QVERIFY(!rig.call->running());
        QCOMPARE(rig.shown, 0);
        if (then == QLatin1String("stop"))
            rig.call->stop();
        else if (then == QLatin1String("toggle"))
            rig.call->toggle();
        else if (then == QLatin1String("start"))
            rig.call->start();
        QVERIFY(TestEnv::waitFor([&] { return rig.soundAnswers == 1; }, 3000));
        QTest::qWait(100);
        QCOMPARE(rig.soundChecks, 1);
        QCOMPARE(rig.call->running(), running);
        QCOMPARE(rig.board->made, made);
        QCOMPARE(rig.shown, made);
        QCOMPARE(rig.call->errorText(), QString());
        // Dropped, a start goes through again.
        if (!running) {
            rig.call->start();
            QVERIFY(TestEnv::waitFor([&] { return rig.call->running(); }, 3000));
            QVERIFY(rig.started());
        }
    }

    void fallback_data()
    {
        QTest::addColumn<bool>("fallbackFails");
        QTest::addColumn<QString>("fr");
        QTest::addColumn<bool>("done");
        QTest::newRow("cloud fails, the preview text is translated") << false << "FR:preview" << true;
        QTest::newRow("both fail: the line stays") << true << "" << false;
    }

    // The live preview has nothing on Linux; its text reaches lines through the
    // same path when it has one, so the fallback is driven through the model.
    void fallback()
    {
        QFETCH(bool, fallbackFails);
        QFETCH(QString, fr);
        QFETCH(bool, done);
        Rig rig(dir_.path());
        rig.fallbackFails = fallbackFails;
        rig.answers = {{"", "", true, 200}};
        rig.call->start();
        QVERIFY(rig.started());
        rig.speak(1.0);
        QVERIFY(TestEnv::waitFor([&] { return rig.call->lines().size() == 1; }));
        // The line's English before the answer is what the preview gave.
        Line line = rig.call->lines().at(0);
        line.en = QStringLiteral("preview");
        rig.call->linesModel()->update(0, line);
        QVERIFY(TestEnv::waitFor([&] { return rig.translated.size() == 1; }));
        QTest::qWait(50);
        QCOMPARE(rig.call->lines().at(0).fr, fr);
        QCOMPARE(rig.call->lines().at(0).done, done);
        QCOMPARE(rig.call->lines().at(0).en, QStringLiteral("preview"));
        QCOMPARE(logged(QStringLiteral("appel: OpenRouter : erreur 502")), 1);
        QCOMPARE(rig.call->errorText().isEmpty(), !fallbackFails);
    }

    void storedTarget()
    {
        QTemporaryDir folder;
        {
            Rig rig(folder.path());
            QCOMPARE(rig.call->targetName(), std::nullopt);
            QCOMPARE(rig.call->targetLabel(), QStringLiteral("Tout l'ordinateur"));
            rig.call->setTargetBundleIdText(QStringLiteral("us.zoom.xos"));
            QCOMPARE(rig.defaults->string(QStringLiteral("callApp")), QStringLiteral("us.zoom.xos"));
            QCOMPARE(rig.call->targetName(), QStringLiteral("Zoom"));
        }
        {
            // The stored value stays; it is read as the application's desktop id.
            Rig rig(folder.path());
            QCOMPARE(rig.call->targetBundleID(), QStringLiteral("zoom"));
            QCOMPARE(rig.defaults->string(QStringLiteral("callApp")), QStringLiteral("us.zoom.xos"));
            rig.call->setTargetBundleIdText(QStringLiteral("Phone"));
            QCOMPARE(rig.call->targetName(), QStringLiteral("Phone"));
            rig.call->setTargetBundleIdText(QString());
            QVERIFY(!rig.defaults->contains(QStringLiteral("callApp")));
        }
    }
};

OMBRY_TEST_MAIN(TestCallTranslator)
#include "tst_calltranslator.moc"
