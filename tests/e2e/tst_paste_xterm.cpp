#include "dictation/ProcessingRoad.h"
#include "dictation/Paster.h"
#include "support/ForeignSelection.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QTemporaryDir>

using DesktopTools::readClipboard;

// A dictation pasted into a real terminal of the xterm family, which binds no
// Ctrl+Shift+V: the text must arrive as typed, not as a literal ^V, and both
// selections come back to what the user had.
class TestPasteXterm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pastesIntoTheTerminal_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("text");
        QTest::newRow("xterm") << "xterm" << "echo dictee dans xterm";
        QTest::newRow("uxterm, accents") << "uxterm" << "Bonjour à tous, ça marche déjà.";
    }
    void pastesIntoTheTerminal()
    {
        QFETCH(QString, program);
        QFETCH(QString, text);
        QVERIFY(ForeignSelection::seedClipboard(QStringLiteral("presse-papiers de l'utilisateur")));
        QVERIFY(ForeignSelection::seedPrimary(QStringLiteral("sélection de l'utilisateur")));

        // The terminal hands every byte to cat at once (no line discipline wait).
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("typed.txt"));
        QProcess terminal;
        terminal.start(program, {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                                 QStringLiteral("stty -icanon -echo; exec cat > \"$1\""), QStringLiteral("sh"), file});
        QVERIFY(terminal.waitForStarted(5000));
        const auto stop = qScopeGuard([&] {
            terminal.kill();
            terminal.waitForFinished(2000);
        });
        QVERIFY(TestEnv::waitFor([&] {
            const DesktopTools::Result r = DesktopTools::run(QStringLiteral("xdotool"),
                {QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")}, {}, 2000);
            return r.exitCode == 0 && r.out.trimmed().toLongLong() == terminal.processId();
        }, 10000));
        QVERIFY(TestEnv::waitFor([&] { return QFile::exists(file); }, 5000));

        QVERIFY(QCoro::waitFor(RoadDesktop::system(TestEnv::own<Paster>()).paste(text, true)).posted);
        QVERIFY2(TestEnv::waitFor([&] { return TestEnv::readFile(file) == text.toUtf8(); }, 5000),
                 TestEnv::readFile(file).toHex().constData());
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "presse-papiers de l'utilisateur"; }, 3000));
        QVERIFY(TestEnv::waitFor([] { return ForeignSelection::readPrimary().out == "sélection de l'utilisateur"; }, 3000));
    }
};

OMBRY_TEST_ROOT_MAIN(TestPasteXterm)
#include "tst_paste_xterm.moc"
