#include "dictation/Paster.h"
#include "platform/Clipboard.h"
#include "support/FakeSelectionHost.h"
#include "support/ForeignSelection.h"
#include "support/TestEnv.h"

#include <QApplication>

using DesktopTools::readClipboard;
using namespace Qt::StringLiterals;

// A session where no keys reach the window in front: the text waits on the
// clipboard for the user, and no restore takes it away from under them.
class TestPasteUntyped : public QObject
{
    Q_OBJECT

    int posts = 0;
    bool reaches = false;

    PasteDesktop desktop()
    {
        PasteDesktop d;
        d.post = [this](quint16, quint64) {
            ++posts;
            return reaches;
        };
        d.reachesFront = [this] { return reaches; };
        d.readFocus = []() -> QCoro::Task<Accessibility::FocusRead> { co_return Accessibility::FocusRead{}; };
        d.frontPrimary = [] { return std::optional<QString>(); };
        return d;
    }

private Q_SLOTS:
    void init()
    {
        posts = 0;
        reaches = false;
        QVERIFY(ForeignSelection::seedClipboard(u"copie de l'utilisateur"_s));
    }

    void textStaysOnTheClipboard_data()
    {
        QTest::addColumn<bool>("reachesFront");
        QTest::addColumn<bool>("earlierPasteWaiting"); // a restore of an earlier paste is due
        QTest::addColumn<QByteArray>("clipboardAfter");
        QTest::newRow("keys reach the window: the user's copy comes back")
            << true << false << "copie de l'utilisateur"_ba;
        QTest::newRow("no keys: the text stays") << false << false << "Texte dicté, à coller"_ba;
        QTest::newRow("no keys, an earlier restore waiting: the text stays all the same")
            << false << true << "Texte dicté, à coller"_ba;
    }
    void textStaysOnTheClipboard()
    {
        QFETCH(bool, reachesFront);
        QFETCH(bool, earlierPasteWaiting);
        QFETCH(QByteArray, clipboardAfter);
        Paster paster(desktop());
        paster.setRestoreDelay(60000);
        if (earlierPasteWaiting) {
            reaches = true;
            QVERIFY(QCoro::waitFor(paster.paste(u"dictée précédente"_s, true)).posted);
            posts = 0;
        }
        reaches = reachesFront;

        const PasteOutcome outcome = QCoro::waitFor(paster.paste(u"Texte dicté, à coller"_s, true));
        QCOMPARE(outcome.posted, reachesFront);
        QCOMPARE(outcome.leftOnClipboard, !reachesFront);
        QCOMPARE(posts, reachesFront ? 1 : 0);
        QCOMPARE(readClipboard().out, "Texte dicté, à coller"_ba);
        paster.flushRestore();
        QCOMPARE(readClipboard().out, clipboardAfter);
    }

    // Without keys the posted copy is not tried: the clipboard is not cleared
    // for a Ctrl+C that never goes out.
    void copyPostedOnlyWhereKeysReach_data()
    {
        QTest::addColumn<bool>("reachesFront");
        QTest::addColumn<int>("posted");
        QTest::addColumn<QByteArray>("clipboardAfter");
        QTest::newRow("keys reach the window: cleared for the copy") << true << 1 << QByteArray();
        QTest::newRow("no keys: left alone") << false << 0 << "copie de l'utilisateur"_ba;
    }
    void copyPostedOnlyWhereKeysReach()
    {
        QFETCH(bool, reachesFront);
        QFETCH(int, posted);
        QFETCH(QByteArray, clipboardAfter);
        reaches = reachesFront;
        Paster paster(desktop());
        std::optional<std::optional<QString>> result;
        [](Paster *p, std::optional<std::optional<QString>> *out) -> QCoro::Task<> {
            QCoro::Task<std::optional<QString>> copying = p->copySelection(true);
            *out = co_await std::move(copying);
        }(&paster, &result);
        QVERIFY(TestEnv::waitFor([&] { return result.has_value(); }, 10000));
        QCOMPARE(*result, std::nullopt);
        QCOMPARE(posts, posted);
        QCOMPARE(readClipboard().out, clipboardAfter);
    }

    // The last dictation pasted again: where no keys reach, it waits on the
    // clipboard and the capsule says so instead of a failure.
    void lastDictationPastedAgain_data()
    {
        QTest::addColumn<bool>("reachesFront");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QByteArray>("clipboardAfter");
        QTest::newRow("keys reach the window") << true << u"show Dernière dictée recollée"_s
                                               << "copie de l'utilisateur"_ba;
        QTest::newRow("no keys") << false << u"show Texte copié : colle-le avec Ctrl+V"_s << "Dernière dictée"_ba;
    }
    void lastDictationPastedAgain()
    {
        QFETCH(bool, reachesFront);
        QFETCH(QString, told);
        QFETCH(QByteArray, clipboardAfter);
        reaches = reachesFront;
        Dictation entry;
        entry.id = QUuid::createUuid();
        entry.date = QDateTime::currentDateTime();
        entry.finalText = u"Dernière dictée"_s;
        TestEnv::store()->add(entry);
        Paster paster(desktop());
        FakeSelectionHost host;
        host.pasterInUse = &paster;
        SelectionActions::pasteLast(&host);
        QVERIFY(TestEnv::waitFor([&] { return !host.calls.isEmpty(); }, 5000));
        QCOMPARE(host.calls, QStringList{told});
        paster.flushRestore();
        QCOMPARE(readClipboard().out, clipboardAfter);
    }
};

OMBRY_TEST_GUI_MAIN(TestPasteUntyped)
#include "tst_paste_untyped.moc"
