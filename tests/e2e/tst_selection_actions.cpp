#include "dictation/BubbleController.h"
#include "dictation/DictationController.h"
#include "dictation/Reader.h"
#include "model/AppSettings.h"
#include "model/Store.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>

using DesktopTools::readClipboard;

// Acting on a selection in another application: Ctrl+C twice corrects in place,
// three times translates (into the bubble when the text cannot be edited),
// Ctrl+Alt+R reads aloud and a second press stops.
class TestSelectionActions : public QObject
{
    Q_OBJECT

    EditorCloud cloud;
    DesktopTools::Editor editor;

    static bool copies(int n)
    {
        for (int i = 0; i < n; ++i)
            if (!DesktopTools::key(QStringLiteral("ctrl+c")))
                return false;
        return true;
    }

    static qsizetype storedFixes()
    {
        TestEnv::store()->flush();
        return QJsonDocument::fromJson(TestEnv::readFile(Store::folder() + QStringLiteral("/fixes.json"))).array().size();
    }

    static bool idle()
    {
        return TestEnv::waitFor([] { return TestEnv::own<DictationController>()->state() == DictationController::State::Idle; }, 5000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        cloud.corrections.insert(QStringLiteral("Il a mangé des pomme hier"), QStringLiteral("Il a mangé des pommes hier."));
        QVERIFY(cloud.start());
        AppSettings *settings = TestEnv::settings();
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setCorrectionShortcut(true);
        settings->setCorrectionDoubleCopy(true);
        settings->setTranslateTarget(QStringLiteral("anglais"));
        settings->setSounds(false);
        QVERIFY(editor.start(QStringLiteral(""), QStringLiteral("Le chat dort sur le canapé du salon.")));
        DictationController *controller = TestEnv::own<DictationController>();
        controller->start();
        QVERIFY(TestEnv::waitFor([&] { return controller->hotkey().active(); }, 5000));
    }

    void doubleCopyCorrectsInPlace()
    {
        QVERIFY(editor.send(QStringLiteral("set Il a mangé des pomme hier")));
        QVERIFY(editor.send(QStringLiteral("select-editor")));
        const qsizetype before = storedFixes();
        QVERIFY(copies(2));
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == QStringLiteral("Il a mangé des pommes hier"); }, 8000),
                 qPrintable(editor.text()));
        QVERIFY(idle());
        QVERIFY(TestEnv::waitFor([&] { return storedFixes() == before + 1; }, 3000));
        const CorrectionRecord record = TestEnv::store()->fixes().first();
        QCOMPARE(record.action, QStringLiteral("Corriger"));
        QCOMPARE(record.original, QStringLiteral("Il a mangé des pomme hier"));
        // The clipboard comes back to what the user copied.
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "Il a mangé des pomme hier"; }, 3000));
    }

    void tripleCopyOnReadOnlyTextShowsTheBubble()
    {
        QVERIFY(editor.send(QStringLiteral("set inchangé")));
        QVERIFY(editor.send(QStringLiteral("select-label")));
        const qsizetype bubbles = TestEnv::own<BubbleController>()->requests().size();
        QVERIFY(copies(3));
        QVERIFY(TestEnv::waitFor([&] { return TestEnv::own<BubbleController>()->requests().size() == bubbles + 1; }, 8000));
        const BubbleController::Request shown = TestEnv::own<BubbleController>()->requests().last();
        QCOMPARE(shown.title, QStringLiteral("Traduit en anglais"));
        QCOMPARE(shown.original, QStringLiteral("Le chat dort sur le canapé du salon."));
        QCOMPARE(shown.text, cloud.translation);
        QVERIFY(idle());
        QTest::qWait(800);
        QCOMPARE(editor.text(), QStringLiteral("inchangé"));
        QCOMPARE(readClipboard().out, QByteArray("Le chat dort sur le canapé du salon."));
    }

    void readAloudAndStop()
    {
        QVERIFY(editor.send(QStringLiteral("set Bonjour à tous, voici un texte assez long pour être lu à voix haute pendant un moment.")));
        QVERIFY(editor.send(QStringLiteral("select-editor")));
        Reader *reader = TestEnv::own<Reader>();
        QVERIFY(DesktopTools::key(QStringLiteral("ctrl+alt+r")));
        QVERIFY(TestEnv::waitFor([&] { return reader->isSpeaking(); }, 5000));
        QCOMPARE(TestEnv::own<DictationController>()->flash(), std::optional<QString>(QStringLiteral("Lecture à voix haute")));
        QVERIFY(DesktopTools::key(QStringLiteral("ctrl+alt+r")));
        QVERIFY(TestEnv::waitFor([&] { return !reader->isSpeaking(); }, 5000));
    }
};

OMBRY_TEST_ROOT_MAIN(TestSelectionActions)
#include "tst_selection_actions.moc"
