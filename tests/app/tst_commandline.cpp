#include "support/TestEnv.h"

#include "diagnostics/CommandLine.h"
#include "audio/AudioRecorder.h"
#include "fakes/FakeHttpService.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

namespace {

QCoro::Task<> nothing(QStringList, Diagnostics::Program)
{
    co_return;
}

// The order of the real table, with do-nothing bodies.
const QList<CommandLine::Switch> &sample()
{
    static const QList<CommandLine::Switch> switches = {
        {"--chunktest", 1, nothing}, {"--update", 0, nothing},    {"--fasttest", 1, nothing},
        {"--calltest", 1, nothing},  {"--command", 2, nothing},   {"--translate", 1, nothing},
        {"--correct", 1, nothing},   {"--test", 1, nothing},      {"--icon", 1, nothing},
        {"--snapshot", 1, nothing, true},
    };
    return switches;
}

struct Run
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

// Runs the application binary with `arguments`, spinning the event loop so that
// fakes of this process can answer it.
Run runApp(const QStringList &arguments, const QProcessEnvironment &env, int timeoutMs = 20000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(TestEnv::home());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(OMBRY_BINARY), arguments);
    Run run;
    run.finished = process.waitForStarted(5000)
        && TestEnv::waitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    run.ms = clock.elapsed();
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    QString wavPath_;
    QByteArray wav_;

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove(QStringLiteral("DISPLAY"));
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return e;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QByteArray pcm(16000, '\0');
        for (int i = 0; i < 8000; ++i)
            qToLittleEndian<qint16>(qint16((i % 40) * 500 - 10000), pcm.data() + 2 * i);
        wav_ = AudioRecorder::wav(pcm);
        wavPath_ = TestEnv::home() + QStringLiteral("/essai.wav");
        QVERIFY(TestEnv::writeFile(wavPath_, wav_));
    }

    void finding_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("which");
        QTest::addColumn<QStringList>("values");

        const QString app = QStringLiteral("/usr/bin/ombry-voice");
        QTest::newRow("nothing") << QStringList{app} << QString() << QStringList();
        QTest::newRow("value follows") << QStringList{app, QStringLiteral("--fasttest"), QStringLiteral("a.wav")}
                                       << QStringLiteral("--fasttest") << QStringList{QStringLiteral("a.wav")};
        QTest::newRow("table order, not command-line order")
            << QStringList{app, QStringLiteral("--test"), QStringLiteral("t.wav"), QStringLiteral("--fasttest"),
                           QStringLiteral("f.wav")}
            << QStringLiteral("--fasttest") << QStringList{QStringLiteral("f.wav")};
        QTest::newRow("last without its value is passed over")
            << QStringList{app, QStringLiteral("--test"), QStringLiteral("t.wav"), QStringLiteral("--fasttest")}
            << QStringLiteral("--test") << QStringList{QStringLiteral("t.wav")};
        QTest::newRow("alone without value") << QStringList{app, QStringLiteral("--translate")} << QString()
                                             << QStringList();
        QTest::newRow("command takes two")
            << QStringList{app, QStringLiteral("--command"), QStringLiteral("en majuscules"), QStringLiteral("salut")}
            << QStringLiteral("--command") << QStringList{QStringLiteral("en majuscules"), QStringLiteral("salut")};
        QTest::newRow("command with one is ignored")
            << QStringList{app, QStringLiteral("--command"), QStringLiteral("en majuscules")} << QString()
            << QStringList();
        QTest::newRow("update needs nothing") << QStringList{app, QStringLiteral("--correct"), QStringLiteral("x"),
                                                             QStringLiteral("--update")}
                                              << QStringLiteral("--update") << QStringList();
        QTest::newRow("the value may look like a switch")
            << QStringList{app, QStringLiteral("--test"), QStringLiteral("--fasttest")} << QStringLiteral("--test")
            << QStringList{QStringLiteral("--fasttest")};
        QTest::newRow("first occurrence gives the value")
            << QStringList{app, QStringLiteral("--icon"), QStringLiteral("a"), QStringLiteral("--icon"),
                           QStringLiteral("b")}
            << QStringLiteral("--icon") << QStringList{QStringLiteral("a")};
        QTest::newRow("program path is searched too")
            << QStringList{QStringLiteral("--snapshot"), QStringLiteral("dossier")} << QStringLiteral("--snapshot")
            << QStringList{QStringLiteral("dossier")};
        QTest::newRow("exact match only") << QStringList{app, QStringLiteral("--test=a.wav"), QStringLiteral("b")}
                                          << QString() << QStringList();
    }

    void finding()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, which);
        QFETCH(QStringList, values);
        const auto match = CommandLine::find(arguments, sample());
        QCOMPARE(match.has_value(), !which.isEmpty());
        if (match) {
            QCOMPARE(QString::fromLatin1(match->which->name), which);
            QCOMPARE(match->values, values);
        }
    }

    void tableKeepsTheOrder()
    {
        // Whatever the table holds, it follows the fixed order of the switches.
        const QStringList order{QStringLiteral("--chunktest"), QStringLiteral("--update"), QStringLiteral("--fasttest"),
                                QStringLiteral("--calltest"),  QStringLiteral("--command"), QStringLiteral("--translate"),
                                QStringLiteral("--correct"),   QStringLiteral("--test"),    QStringLiteral("--icon"),
                                QStringLiteral("--snapshot")};
        qsizetype last = -1;
        for (const CommandLine::Switch &s : CommandLine::table()) {
            const qsizetype at = order.indexOf(QString::fromLatin1(s.name));
            QVERIFY2(at > last, s.name);
            last = at;
        }
        QVERIFY(CommandLine::table().size() >= 3);
    }

    void secondsUseAPoint()
    {
        QCOMPARE(Diagnostics::seconds(1.25), QStringLiteral("1.2"));
        QCOMPARE(Diagnostics::seconds(0.06), QStringLiteral("0.1"));
        QCOMPARE(Diagnostics::seconds(12.0), QStringLiteral("12.0"));
    }

    void fastTestAgainstFakeOpenRouter()
    {
        FakeHttpService openRouter;
        QVERIFY(openRouter.start());
        openRouter.enqueue("POST", QStringLiteral("/api/v1/chat/completions"),
                           ScriptedReply::json(chatCompletion(QStringLiteral("{\"raw\": \"euh salut\", \"clean\": \"Salut.\"}"))));
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("OMBRY_OPENROUTER_URL"), openRouter.url());
        e.insert(QStringLiteral("OPENROUTER_API_KEY"), QStringLiteral("sk-or-test"));
        // Listed after its rival, "--fasttest" still wins.
        const Run run = runApp({QStringLiteral("--test"), wavPath_, QStringLiteral("--fasttest"), QStringLiteral("essai.wav")}, e);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^rapide \\(\\d+\\.\\d s\\): raw=\\[euh salut\\] clean=\\[Salut\\.\\]\n$"))
                     .match(run.out).hasMatch(),
                 qPrintable(run.out + run.err));
        QCOMPARE(openRouter.count(), 1);
        const RecordedRequest request = openRouter.requests().first();
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer sk-or-test"));
        QCOMPARE(request.chatAudio(), wav_);
        QVERIFY(request.json().value(QStringLiteral("messages")).toArray().at(0).toObject()
                    .value(QStringLiteral("content")).toString()
                    .contains(QStringLiteral("Ponctuation légère : garde la ponctuation déjà présente")));
    }

    // The migration runs before the settings are read, and what the work saves is
    // written before the process ends.
    void startUpOrderAndSaves()
    {
        ScopedHome home;
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Ombry Voice");
        QVERIFY(QDir().mkpath(config));
        QVERIFY(TestEnv::writeFile(config + QStringLiteral("/com.corvanel.murel.json"), "{\"punctuation\": \"full\"}"));
        QVERIFY(TestEnv::writeFile(home.path() + QStringLiteral("/essai.wav"), wav_));

        FakeHttpService openRouter;
        QVERIFY(openRouter.start());
        QJsonObject reply = chatCompletion(QStringLiteral("{\"raw\": \"a\", \"clean\": \"A.\"}"));
        reply.insert(QStringLiteral("usage"), QJsonObject{{QStringLiteral("cost"), 0.0042}});
        openRouter.enqueue("POST", QStringLiteral("/api/v1/chat/completions"), ScriptedReply::json(reply));
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("OMBRY_OPENROUTER_URL"), openRouter.url());
        e.insert(QStringLiteral("OPENROUTER_API_KEY"), QStringLiteral("sk-or-test"));
        const Run run = runApp({QStringLiteral("--fasttest"), home.path() + QStringLiteral("/essai.wav")}, e);
        QVERIFY(run.finished);
        QVERIFY2(run.out.startsWith(QStringLiteral("rapide (")), qPrintable(run.out + run.err));
        QCOMPARE(openRouter.count(), 1);
        QVERIFY(openRouter.requests().first().json().value(QStringLiteral("messages")).toArray().at(0).toObject()
                    .value(QStringLiteral("content")).toString()
                    .contains(QStringLiteral("Ponctuation complète et soignée")));

        const QByteArray costs = TestEnv::readFile(qEnvironmentVariable("XDG_DATA_HOME")
                                                   + QStringLiteral("/Ombry Voice/costs.json"));
        const QJsonArray entries = QJsonDocument::fromJson(costs).array();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.at(0).toObject().value(QStringLiteral("amount")).toDouble(), 0.0042);
    }

    void callTestAgainstFakeOpenRouter()
    {
        FakeHttpService openRouter;
        QVERIFY(openRouter.start());
        openRouter.enqueue("POST", QStringLiteral("/api/v1/chat/completions"),
                           ScriptedReply::json(chatCompletion(QStringLiteral("{\"en\": \"Cheers mate\", \"fr\": \"Merci vieux\"}"))));
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("OMBRY_OPENROUTER_URL"), openRouter.url());
        e.insert(QStringLiteral("OPENROUTER_API_KEY"), QStringLiteral("sk-or-test"));
        const Run run = runApp({QStringLiteral("--calltest"), wavPath_}, e);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^appel \\(\\d+\\.\\d s\\): Cheers mate → Merci vieux\n$")).match(run.out).hasMatch(),
                 qPrintable(run.out + run.err));
    }

    void failuresPrintAndExitZero_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::newRow("unreadable file") << QStringList{QStringLiteral("--calltest"), QStringLiteral("absent.wav")}
                                         << QStringLiteral("erreur: Impossible de lire le fichier « absent.wav »");
        QTest::newRow("no key, no hosted service")
            << QStringList{QStringLiteral("--fasttest"), QStringLiteral("essai.wav")}
            << QStringLiteral("erreur: Clé OpenRouter absente\n");
        QTest::newRow("no local servers")
            << QStringList{QStringLiteral("--test"), QStringLiteral("essai.wav")}
            << QStringLiteral("erreur: Reconnaissance locale : erreur 0 non disponible sur cet ordinateur "
                              "(serveur local requis)\n");
        // Never drawn offscreen, which drops effects; and no abort without X.
        QTest::newRow("snapshot without a display")
            << QStringList{QStringLiteral("--snapshot"), QStringLiteral("images")}
            << QStringLiteral("erreur: pas d'écran X");
    }

    void failuresPrintAndExitZero()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        const Run run = runApp(arguments, env());
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(output), qPrintable(run.out + run.err));
        QVERIFY2(run.ms < 5000, qPrintable(QString::number(run.ms)));
    }

    // Qt's X11 platform aborts without a display: the program says why first and
    // ends with a failure status.
    void withoutDisplay_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("told");
        QTest::newRow("Wayland socket that nobody serves")
            << QString() << QStringLiteral("DISPLAY n'est pas défini, et la session Wayland");
        QTest::newRow("X display that does not answer")
            << QStringLiteral(":3999") << QStringLiteral("l'écran X « :3999 » ne répond pas");
    }

    void withoutDisplay()
    {
        QFETCH(QString, display);
        QFETCH(QString, told);
        ScopedHome home;
        QProcessEnvironment e = env();
        e.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (display.isEmpty())
            e.insert(QStringLiteral("WAYLAND_DISPLAY"), home.path() + QStringLiteral("/wayland-mort"));
        else
            e.insert(QStringLiteral("DISPLAY"), display);
        const Run run = runApp({}, e);
        QVERIFY(run.finished);
        QVERIFY2(run.exitCode == 1, qPrintable(run.err));
        QVERIFY2(run.err.startsWith(QStringLiteral("Ombry Voice ne peut pas démarrer : aucun écran X n'est joignable (")
                                    + told),
                 qPrintable(run.err));
        QVERIFY2(!run.err.contains(QStringLiteral("qt.qpa")), qPrintable(run.err));
        const QString journal = QString::fromUtf8(TestEnv::readFile(qEnvironmentVariable("XDG_DATA_HOME")
                                                                    + QStringLiteral("/Ombry Voice/journal.log")));
        QVERIFY2(journal.contains(QStringLiteral("aucun écran X n'est joignable")), qPrintable(journal));
    }

    void onDeviceTestWithTranscriptionServerOnly()
    {
        FakeHttpService asr;
        QVERIFY(asr.start());
        asr.on("GET", QStringLiteral("/v1/models"), ScriptedReply::json({{QStringLiteral("data"), QJsonArray()}}));
        asr.on("POST", QStringLiteral("/v1/audio/transcriptions"),
               ScriptedReply::json({{QStringLiteral("text"), QStringLiteral("bonjour tout le monde")}}));
        QProcessEnvironment e = env();
        e.insert(QStringLiteral("OMBRY_LOCAL_ASR_URL"), asr.url(QStringLiteral("/v1")));
        const Run run = runApp({QStringLiteral("--test"), wavPath_}, e);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        QVERIFY2(lines.size() == 4, qPrintable(run.out));
        QVERIFY(QRegularExpression(QStringLiteral("^transcription \\(\\d+\\.\\d s\\): bonjour tout le monde$")).match(lines[0]).hasMatch());
        QCOMPARE(lines[1], QStringLiteral("modèle local disponible: false"));
        QVERIFY2(lines[2].startsWith(QStringLiteral("erreur: ")), qPrintable(lines[2]));
        QCOMPARE(asr.count(QStringLiteral("/v1/audio/transcriptions")), 1);
    }

    void missingValueStartsNormally()
    {
        QProcess process;
        process.setProcessEnvironment(env());
        process.start(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--fasttest")});
        QVERIFY(process.waitForStarted());
        // Still running: no switch took over and ended it.
        QVERIFY(!process.waitForFinished(1500));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        process.kill();
        process.waitForFinished();
    }
};

OMBRY_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
