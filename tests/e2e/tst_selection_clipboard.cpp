#include "dictation/Paster.h"
#include "platform/Clipboard.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <qcoro/qcorotask.h>

using DesktopTools::readClipboard;

// The clipboard side of pasting: what another client reads before and after the
// restore, and what the snapshot keeps.
class TestSelectionClipboard : public QObject
{
    Q_OBJECT

    QList<QPair<quint16, bool>> posted;

private Q_SLOTS:
    void init()
    {
        posted.clear();
        Paster::hooks().post = [this](quint16 key, bool shift) { posted.append({key, shift}); };
        Paster::hooks().targetClass = [] { return QStringLiteral("test_editor"); };
        Paster::hooks().modifiers = [] { return quint64(0); };
    }

    void cleanup()
    {
        Paster::flushRestore();
        Paster::hooks() = {};
    }

    void restoresEveryFormatOfAForeignOwner()
    {
        DesktopTools::Editor editor;
        QVERIFY(editor.start());
        QVERIFY(editor.send(QStringLiteral("clip avant")));
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }));
        const QByteArray png = readClipboard(QStringLiteral("image/png")).out;
        QVERIFY(png.startsWith("\x89PNG"));

        Paster::paste(QStringLiteral("nouveau texte"), true);
        QCOMPARE(posted, (QList<QPair<quint16, bool>>{{Paster::kKeyV, false}}));
        // Served while the target pastes, for the whole wait before the restore.
        QCOMPARE(readClipboard().out, QByteArray("nouveau texte"));
        QTest::qWait(400);
        QCOMPARE(readClipboard().out, QByteArray("nouveau texte"));

        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }, 3000));
        QCOMPARE(readClipboard(QStringLiteral("image/png")).out, png);
        QCOMPARE(readClipboard(QStringLiteral("application/x-ombry-test")).out, QByteArray("privé\x01\x02"));
    }

    void restore_data()
    {
        QTest::addColumn<bool>("seed");
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("restored") << true << true << QByteArray("avant");
        QTest::newRow("empty stays empty") << false << true << QByteArray();
        QTest::newRow("kept without restore") << true << false << QByteArray("collé");
    }
    void restore()
    {
        QFETCH(bool, seed);
        QFETCH(bool, restore);
        QFETCH(QByteArray, after);
        if (seed) {
            QVERIFY(DesktopTools::seedClipboard(QStringLiteral("avant")));
        } else {
            Clipboard::clear();
            QVERIFY(TestEnv::waitFor([] { return readClipboard().exitCode != 0 || readClipboard().out.isEmpty(); }));
        }
        Paster::paste(QStringLiteral("collé"), restore);
        // Read in-process: an outside reader started under load can come after
        // the restore and see the old content.
        QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("collé"));
        QTest::qWait(900);
        QCOMPARE(readClipboard().out, after);
    }

    // A second paste inside the restore window must not make the first pasted
    // text the user's clipboard for good.
    void quickSecondPasteKeepsTheUsersContent()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("à moi")));
        Paster::paste(QStringLiteral("un"), true);
        QTest::qWait(200);
        Paster::paste(QStringLiteral("deux"), true);
        QCOMPARE(readClipboard().out, QByteArray("deux"));
        QTest::qWait(500); // the first restore's time: it must not fire
        QCOMPARE(readClipboard().out, QByteArray("deux"));
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "à moi"; }, 2000));
    }

    // Clearing must also end a foreign owner's offer: a copy that never comes
    // then reads as nothing, not as the previous content.
    void clearEndsAForeignOwnersOffer()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("ancien")));
        Clipboard::clear();
        QVERIFY(TestEnv::waitFor([] { return !Clipboard::text().has_value() || Clipboard::text()->isEmpty(); }, 2000));
        QVERIFY(readClipboard().out.isEmpty());
    }

    // A copy made while the restore waits is the user's newest content: kept.
    void copyDuringTheWaitIsKept()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("avant")));
        Paster::paste(QStringLiteral("collé"), true);
        // Meanwhile the snapshot still stands for the user's content.
        QCOMPARE(Paster::snapshot().data(QStringLiteral("text/plain")), QByteArray("avant"));
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("copie de l'utilisateur")));
        QTest::qWait(900);
        QCOMPARE(readClipboard().out, QByteArray("copie de l'utilisateur"));
    }

    void givenSnapshotWins()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("actuel")));
        Clipboard::Snapshot saved;
        saved.formats.append({QStringLiteral("text/plain"), QByteArray("sauvé")});
        Paster::paste(QStringLiteral("résultat"), true, saved);
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "sauvé"; }, 2000));
    }

    void terminalGetsShift_data()
    {
        QTest::addColumn<QString>("wmClass");
        QTest::addColumn<bool>("shift");
        QTest::newRow("xterm") << "XTerm" << true;
        QTest::newRow("gnome") << "Gnome-terminal" << true;
        QTest::newRow("kitty") << "kitty" << true;
        QTest::newRow("editor") << "test_editor" << false;
        QTest::newRow("firefox") << "firefox" << false;
        QTest::newRow("unknown") << "" << false;
    }
    void terminalGetsShift()
    {
        QFETCH(QString, wmClass);
        QFETCH(bool, shift);
        Paster::hooks().targetClass = [wmClass] { return wmClass; };
        Paster::command(Paster::kKeyV);
        Paster::command(Paster::kKeyC);
        QCOMPARE(posted, (QList<QPair<quint16, bool>>{{Paster::kKeyV, shift}, {Paster::kKeyC, false}}));
    }

    void modifierWait_data()
    {
        QTest::addColumn<int>("heldMs");
        QTest::addColumn<int>("atLeastMs");
        QTest::newRow("none held") << 0 << 60;
        QTest::newRow("released after 200 ms") << 200 << 260;
        QTest::newRow("never released") << 100000 << 2060;
    }
    void modifierWait()
    {
        QFETCH(int, heldMs);
        QFETCH(int, atLeastMs);
        QElapsedTimer clock;
        clock.start();
        Paster::hooks().modifiers = [&clock, heldMs] { return clock.elapsed() < heldMs ? quint64(0x40000) : quint64(0); };
        bool done = false;
        auto task = [](bool *flag) -> QCoro::Task<> {
            co_await Paster::waitForModifiers();
            *flag = true;
        }(&done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 5000));
        QVERIFY2(clock.elapsed() >= atLeastMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(clock.elapsed() < atLeastMs + 1500, qPrintable(QString::number(clock.elapsed())));
    }
};

OMBRY_TEST_GUI_MAIN(TestSelectionClipboard)
#include "tst_selection_clipboard.moc"
