#include "dictation/DictationController.h"
#include "dictation/Paster.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "model/Store.h"
#include "platform/FrontmostApp.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

using DesktopTools::readClipboard;
using DesktopTools::run;

// A whole dictation on the private desktop: the dictation key held while speech
// plays into the fake microphone, the text pasted into the test editor.
class TestDictationFull : public QObject
{
    Q_OBJECT

    EditorCloud cloud;
    QTemporaryDir dir;
    QString speech;
    DesktopTools::Editor editor;

    // Holds right Control while the speech plays into the microphone's sink.
    bool dictate(const QString &extraKey = {}, const QString &file = {})
    {
        if (!extraKey.isEmpty() && run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), extraKey}).exitCode != 0)
            return false;
        if (run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("Control_R")}).exitCode != 0)
            return false;
        if (!extraKey.isEmpty())
            run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), extraKey});
        QTest::qWait(300);
        const bool played = run(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vsink"), file.isEmpty() ? speech : file}, {}, 30000).exitCode == 0;
        QTest::qWait(300);
        run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("Control_R")});
        return played;
    }

    static QJsonArray history()
    {
        TestEnv::store()->flush();
        return QJsonDocument::fromJson(TestEnv::readFile(Store::folder() + QStringLiteral("/history.json"))).array();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        QVERIFY(cloud.start());
        AppSettings *settings = TestEnv::settings();
        settings->setTranscriptionEngine(TranscriptionEngine::Gemini);
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setSounds(false);
        settings->setRestoreClipboard(true);

        speech = dir.filePath(QStringLiteral("parole.wav"));
        QCOMPARE(run(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("fr"), QStringLiteral("-w"), speech,
                     QStringLiteral("Bonjour, je voudrais réserver une table pour deux personnes ce soir.")}, {}, 20000).exitCode, 0);

        QVERIFY(editor.start(QStringLiteral("")));
        DictationController *controller = TestEnv::own<DictationController>();
        controller->start();
        QVERIFY(TestEnv::waitFor([&] { return controller->hotkey().active(); }, 5000));
    }

    void fullDictation()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("avant")));
        QVERIFY(editor.send(QStringLiteral("set ")));
        DictationController *controller = TestEnv::own<DictationController>();
        QVERIFY(dictate());
        QElapsedTimer released;
        released.start();
        const QString expected = cloud.rewrite + QLatin1Char('.');
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == expected; }, 5000), qPrintable(editor.text()));
        QVERIFY(released.elapsed() < 5000);
        QCOMPARE(cloud.count(QStringLiteral("transcription")), 1);
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }, 3000));
        QVERIFY(TestEnv::waitFor([&] { return controller->state() == DictationController::State::Idle; }, 3000));

        const QJsonObject last = history().at(0).toObject();
        QCOMPARE(last.value(QStringLiteral("rawText")).toString(), cloud.transcript);
        QVERIFY(last.value(QStringLiteral("duration")).toDouble() > 2.0);
        const QString audio = last.value(QStringLiteral("audioFile")).toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F-]{36}\\.wav$")).match(audio).hasMatch(), qPrintable(audio));
        QVERIFY(TestEnv::readFile(QDir(Store::audioFolder()).filePath(audio)).startsWith("RIFF"));
        Log::waitUntilWritten();
        QVERIFY(TestEnv::readFile(Log::path()).contains("collé: "));
    }

    void translatedDictation_data()
    {
        QTest::addColumn<bool>("shift");
        QTest::newRow("application on the translate list") << false;
        QTest::newRow("Shift held") << true;
    }
    void translatedDictation()
    {
        QFETCH(bool, shift);
        const std::optional<RunningApp> app = FrontmostApp::current();
        QVERIFY(app && app->bundleId);
        TestEnv::settings()->setTranslateApps(shift ? QStringList() : QStringList{*app->bundleId});
        QVERIFY(editor.send(QStringLiteral("set ")));
        QVERIFY(dictate(shift ? QStringLiteral("Shift_L") : QString()));
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == cloud.translation; }, 5000), qPrintable(editor.text()));
        TestEnv::settings()->setTranslateApps({});
        QVERIFY(TestEnv::waitFor([] { return TestEnv::own<DictationController>()->state() == DictationController::State::Idle; }, 3000));
    }

    // A long dictation is transcribed in pieces at its pauses while it is spoken.
    void longDictationIsCutWhileSpoken()
    {
        const QStringList phrases = {
            QStringLiteral("Bonjour, je voudrais vous parler aujourd'hui de notre nouveau projet de jardin partagé."),
            QStringLiteral("Nous avons besoin de volontaires pour arroser les plantes pendant les vacances d'été."),
            QStringLiteral("Merci de me répondre avant la fin de la semaine prochaine si vous êtes intéressés."),
        };
        QStringList parts;
        const QString silence = dir.filePath(QStringLiteral("silence.wav"));
        QCOMPARE(run(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"), QStringLiteral("-c"),
                     QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), silence, QStringLiteral("trim"),
                     QStringLiteral("0"), QStringLiteral("1.2")}).exitCode, 0);
        for (int i = 0; i < phrases.size(); ++i) {
            const QString part = dir.filePath(QStringLiteral("long%1.wav").arg(i));
            QCOMPARE(run(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("fr"), QStringLiteral("-w"), part, phrases[i]}, {}, 20000).exitCode, 0);
            if (i > 0)
                parts << silence;
            parts << part;
        }
        const QString longSpeech = dir.filePath(QStringLiteral("long.wav"));
        QCOMPARE(run(QStringLiteral("sox"), parts << longSpeech, {}, 20000).exitCode, 0);

        QVERIFY(editor.send(QStringLiteral("set ")));
        cloud.http.clear();
        QVERIFY(dictate(QString(), longSpeech));
        QVERIFY2(TestEnv::waitFor([&] { return editor.text().count(cloud.rewrite) >= 2; }, 8000), qPrintable(editor.text()));
        QVERIFY(cloud.count(QStringLiteral("transcription")) >= 2);
        Log::waitUntilWritten();
        QVERIFY(TestEnv::readFile(Log::path()).contains(" traités pendant la dictée"));
        QVERIFY(TestEnv::waitFor([] { return TestEnv::own<DictationController>()->state() == DictationController::State::Idle; }, 3000));
    }

    // Speaking over a selection applies the words as an instruction to it.
    void voiceCommandOverTheSelection()
    {
        TestEnv::settings()->setVoiceCommands(true);
        QVERIFY(editor.send(QStringLiteral("set Un texte à retravailler.")));
        QVERIFY(editor.send(QStringLiteral("select-editor")));
        const qsizetype dictations = TestEnv::store()->dictations().size();
        const qsizetype fixes = TestEnv::store()->fixes().size();
        QVERIFY(dictate());
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == cloud.command; }, 8000), qPrintable(editor.text()));
        QVERIFY(TestEnv::waitFor([] { return TestEnv::own<DictationController>()->state() == DictationController::State::Idle; }, 3000));
        QCOMPARE(TestEnv::store()->fixes().size(), fixes + 1);
        QCOMPARE(TestEnv::store()->fixes().first().action, QStringLiteral("Commande : ") + cloud.transcript);
        QCOMPARE(TestEnv::store()->fixes().first().original, QStringLiteral("Un texte à retravailler."));
        QCOMPARE(TestEnv::store()->dictations().size(), dictations);
        QCOMPARE(TestEnv::own<DictationController>()->commandText(), std::nullopt);
    }

    void pasteLastAgain()
    {
        QVERIFY(editor.send(QStringLiteral("set ")));
        const QString last = TestEnv::store()->dictations().first().finalText;
        QVERIFY(DesktopTools::key(QStringLiteral("ctrl+alt+v")));
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == last; }, 5000), qPrintable(editor.text()));
    }
};

OMBRY_TEST_ROOT_MAIN(TestDictationFull)
#include "tst_dictation_full.moc"
