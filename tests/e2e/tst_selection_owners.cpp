#include "platform/SelectionOwners.h"
#include "support/ForeignSelection.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QClipboard>
#include <QWidget>

// The X server's own record of selection owners: a clipboard counts as new
// only when it changed hands after a moment, and PRIMARY belongs to the
// application in front only when the same client made its window.
class TestSelectionOwners : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(SelectionOwners::watch()); }

    void clipboardTakenSince_data()
    {
        QTest::addColumn<bool>("seedAfterMark");
        QTest::addColumn<bool>("taken");
        QTest::newRow("copied before: stale") << false << false;
        QTest::newRow("copied after: new") << true << true;
    }
    void clipboardTakenSince()
    {
        QFETCH(bool, seedAfterMark);
        QFETCH(bool, taken);
        quint64 mark = 0;
        if (!seedAfterMark)
            QVERIFY(ForeignSelection::seedClipboard(QStringLiteral("ancien presse-papiers")));
        mark = SelectionOwners::serverTime();
        QVERIFY(mark != 0);
        if (seedAfterMark)
            QVERIFY(ForeignSelection::seedClipboard(QStringLiteral("nouvelle copie")));
        QCOMPARE(SelectionOwners::clipboardTakenSince(mark), taken);
    }

    // Clearing it is no copy: nobody holds it afterwards.
    void aClearedClipboardIsNotTaken()
    {
        QVERIFY(ForeignSelection::seedClipboard(QStringLiteral("à effacer")));
        const quint64 mark = SelectionOwners::serverTime();
        QGuiApplication::clipboard()->setText(QStringLiteral("·"));
        QGuiApplication::clipboard()->clear();
        QVERIFY(TestEnv::waitFor([] { return DesktopTools::readClipboard().exitCode != 0; }, 3000));
        QVERIFY(!SelectionOwners::clipboardTakenSince(mark));
    }

    void primaryOwner_data()
    {
        QTest::addColumn<bool>("ours");
        QTest::newRow("another client's PRIMARY") << false;
        QTest::newRow("PRIMARY of the window's client") << true;
    }
    void primaryOwner()
    {
        QFETCH(bool, ours);
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (ours)
            QGuiApplication::clipboard()->setText(QStringLiteral("sélection ici"), QClipboard::Selection);
        else
            QVERIFY(ForeignSelection::seedPrimary(QStringLiteral("sélection ailleurs")));
        // Our own claim reaches the server when the toolkit flushes it.
        QTRY_COMPARE_WITH_TIMEOUT(SelectionOwners::ownedByClientOf("PRIMARY", window.winId()), ours, 3000);
    }
};

OMBRY_TEST_GUI_MAIN(TestSelectionOwners)
#include "tst_selection_owners.moc"
