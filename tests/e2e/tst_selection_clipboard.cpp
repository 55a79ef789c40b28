#include "dictation/Paster.h"
#include "platform/Clipboard.h"
#include "platform/KeyTable.h"
#include "support/ForeignSelection.h"
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

    QList<QPair<quint16, quint64>> posted;
    QString targetClass;
    std::function<quint64()> held;
    std::unique_ptr<Paster> paster;

private Q_SLOTS:
    void init()
    {
        posted.clear();
        targetClass = QStringLiteral("test_editor");
        held = [] { return quint64(0); };
        PasteDesktop desktop;
        desktop.post = [this](quint16 key, quint64 modifiers) {
            posted.append({key, modifiers});
            return true;
        };
        desktop.targetClass = [this] { return targetClass; };
        desktop.modifiers = [this] { return held(); };
        paster = std::make_unique<Paster>(desktop);
        // No key reaches a window here, so no target fetches: the restore comes
        // at the end of the wait.
        paster->setRestoreDelay(1000);
    }

    void cleanup()
    {
        paster.reset(); // runs the pending restore
    }

    void restoresEveryFormatOfAForeignOwner()
    {
        DesktopTools::Editor editor;
        QVERIFY(editor.start());
        QVERIFY(editor.send(QStringLiteral("clip avant")));
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }));
        const QByteArray png = readClipboard(QStringLiteral("image/png")).out;
        QVERIFY(png.startsWith("\x89PNG"));

        paster->setRestoreDelay(3000);
        QCoro::waitFor(paster->paste(QStringLiteral("nouveau texte"), true));
        QCOMPARE(posted, (QList<QPair<quint16, quint64>>{{Paster::kKeyV, KeyTable::Control}}));
        // Served while the target pastes, for the whole wait before the restore.
        QCOMPARE(readClipboard().out, QByteArray("nouveau texte"));
        QTest::qWait(400);
        QCOMPARE(readClipboard().out, QByteArray("nouveau texte"));

        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }, 6000));
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
        QCoro::waitFor(paster->paste(QStringLiteral("collé"), restore));
        // Read in-process: an outside reader started under load can come after
        // the restore and see the old content.
        QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("collé"));
        QTest::qWait(900);
        QVERIFY2(TestEnv::waitFor([&] { return readClipboard().out == after; }, 3000), readClipboard().out.constData());
    }

    // A second paste inside the restore window must not make the first pasted
    // text the user's clipboard for good.
    void quickSecondPasteKeepsTheUsersContent()
    {
        // Long waits, so outside readers slowed by load still come in time; the
        // moment our clipboard changes back is taken in-process.
        paster->setRestoreDelay(2000);
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("à moi")));
        QCoro::waitFor(paster->paste(QStringLiteral("un"), true));
        QTest::qWait(500);
        QClipboard *clipboard = QGuiApplication::clipboard();
        QElapsedTimer sinceSecond;
        qint64 restoredAfter = -1;
        const auto watch = connect(clipboard, &QClipboard::dataChanged, this, [&] {
            if (restoredAfter < 0 && clipboard->text() == QStringLiteral("à moi"))
                restoredAfter = sinceSecond.elapsed();
        });
        sinceSecond.start();
        QCoro::waitFor(paster->paste(QStringLiteral("deux"), true));
        QCOMPARE(readClipboard().out, QByteArray("deux"));
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "à moi"; }, 8000));
        disconnect(watch);
        // The first paste's restore was due 1.5 s after the second paste: only
        // the second one's, 2 s after it, may bring the content back.
        QVERIFY2(restoredAfter >= 1750, qPrintable(QString::number(restoredAfter)));
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
        QCoro::waitFor(paster->paste(QStringLiteral("collé"), true));
        // Meanwhile the snapshot still stands for the user's content.
        QCOMPARE(paster->snapshot().data(QStringLiteral("text/plain")), QByteArray("avant"));
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("copie de l'utilisateur")));
        QTest::qWait(900);
        QCOMPARE(readClipboard().out, QByteArray("copie de l'utilisateur"));
    }

    void givenSnapshotWins()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("actuel")));
        Clipboard::Snapshot saved;
        saved.formats.append({QStringLiteral("text/plain"), QByteArray("sauvé")});
        QCoro::waitFor(paster->paste(QStringLiteral("résultat"), true, saved));
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "sauvé"; }, 2000));
    }

    // Terminals paste on Ctrl+Shift+V; the xterm family binds none and pastes
    // PRIMARY on Shift+Insert, so PRIMARY holds the text too.
    void pasteKeyFollowsTheTarget_data()
    {
        QTest::addColumn<QString>("wmClass");
        QTest::addColumn<quint16>("key");
        QTest::addColumn<quint64>("modifiers");
        QTest::addColumn<bool>("primary");
        const quint64 ctrl = KeyTable::Control;
        const quint64 ctrlShift = KeyTable::Control | KeyTable::Shift;
        const quint16 v = Paster::kKeyV;
        const quint16 insert = KeyTable::Insert;
        QTest::newRow("xterm") << "xterm" << insert << quint64(KeyTable::Shift) << true;
        QTest::newRow("XTerm class") << "XTerm" << insert << quint64(KeyTable::Shift) << true;
        QTest::newRow("uxterm") << "uxterm" << insert << quint64(KeyTable::Shift) << true;
        QTest::newRow("urxvt") << "URxvt" << insert << quint64(KeyTable::Shift) << true;
        QTest::newRow("rxvt") << "rxvt" << insert << quint64(KeyTable::Shift) << true;
        QTest::newRow("gnome") << "Gnome-terminal" << v << ctrlShift << false;
        QTest::newRow("kitty") << "kitty" << v << ctrlShift << false;
        QTest::newRow("editor") << "test_editor" << v << ctrl << false;
        QTest::newRow("firefox") << "firefox" << v << ctrl << false;
        QTest::newRow("unknown") << "" << v << ctrl << false;
    }
    void pasteKeyFollowsTheTarget()
    {
        QFETCH(QString, wmClass);
        QFETCH(quint16, key);
        QFETCH(quint64, modifiers);
        QFETCH(bool, primary);
        QVERIFY(ForeignSelection::seedClipboard(QStringLiteral("avant")));
        QVERIFY(ForeignSelection::seedPrimary(QStringLiteral("sélection avant")));
        targetClass = wmClass;
        QCoro::waitFor(paster->paste(QStringLiteral("dicté"), true));
        paster->command(Paster::kKeyC);
        QCOMPARE(posted, (QList<QPair<quint16, quint64>>{{key, modifiers}, {Paster::kKeyC, quint64(KeyTable::Control)}}));
        // Read in-process: an outside reader may come after the restore under load.
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QStringLiteral("dicté"));
        QCOMPARE(QGuiApplication::clipboard()->ownsSelection(), primary);
        if (primary)
            QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("dicté"));
        // Both come back with the restore.
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }, 3000));
        QVERIFY(TestEnv::waitFor([] { return ForeignSelection::readPrimary().out == "sélection avant"; }, 3000));
    }

    // Quitting right after a paste into an xterm gives PRIMARY back too.
    void flushRestoresPrimary()
    {
        QVERIFY(ForeignSelection::seedClipboard(QStringLiteral("avant")));
        QVERIFY(ForeignSelection::seedPrimary(QStringLiteral("sélection avant")));
        targetClass = QStringLiteral("xterm");
        QCoro::waitFor(paster->paste(QStringLiteral("dicté"), true));
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("dicté"));
        paster->flushRestore();
        QCOMPARE(readClipboard().out, QByteArray("avant"));
        QCOMPARE(ForeignSelection::readPrimary().out, QByteArray("sélection avant"));
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
        held = [&clock, heldMs] { return clock.elapsed() < heldMs ? quint64(0x40000) : quint64(0); };
        bool done = false;
        auto task = [](Paster *p, bool *flag) -> QCoro::Task<> {
            QCoro::Task<> waiting = p->waitForModifiers();
            co_await std::move(waiting);
            *flag = true;
        }(paster.get(), &done);
        QVERIFY(TestEnv::waitFor([&] { return done; }, 5000));
        QVERIFY2(clock.elapsed() >= atLeastMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(clock.elapsed() < atLeastMs + 1500, qPrintable(QString::number(clock.elapsed())));
    }
};

OMBRY_TEST_GUI_MAIN(TestSelectionClipboard)
#include "tst_selection_clipboard.moc"
