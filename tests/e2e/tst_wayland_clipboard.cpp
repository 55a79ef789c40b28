#include "platform/Clipboard.h"
#include "platform/FrontSelection.h"
#include "platform/FrontmostApp.h"
#include "platform/SelectionOwners.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"

#include <QApplication>

using namespace Qt::StringLiterals;
using Formats = QList<QPair<QString, QByteArray>>;

// The clipboard and PRIMARY exchanged with native Wayland windows, which
// Xwayland does not bridge while one of them is in front: read from them and
// put back for them through the compositor.
class TestWaylandClipboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!WaylandWindows::session())
            QSKIP("needs the Wayland desktop (scripts/session --wayland)");
        keyboard_ = std::make_unique<WaylandWindows::SeatKeyboard>();
        QVERIFY(keyboard_->ok());
    }
    void cleanupTestCase() { keyboard_.reset(); }

    void readsWhatAWaylandWindowCopied_data()
    {
        QTest::addColumn<bool>("primary");
        QTest::addColumn<QString>("text");
        QTest::newRow("presse-papiers") << false << u"Bonjour à tous"_s;
        QTest::newRow("lignes et accents") << false << u"Ça va ?\nÀ bientôt — l'été\n"_s;
        // More than a pipe holds: read as it comes, not in one go.
        QTest::newRow("plus qu'un tube") << false << QString(u"mot "_s).repeated(90000);
        QTest::newRow("sélection primaire") << true << u"texte sélectionné"_s;
    }
    void readsWhatAWaylandWindowCopied()
    {
        QFETCH(bool, primary);
        QFETCH(QString, text);
        const Clipboard::Mode mode = primary ? Clipboard::Mode::Primary : Clipboard::Mode::Clipboard;
        const WaylandWindows::Window owner = WaylandWindows::serve(u"org.ombry.copieur"_s, primary, text.toUtf8());
        QVERIFY(owner);
        QVERIFY(!Clipboard::ownedHere(mode));
        const Clipboard::Snapshot saved = Clipboard::snapshot(mode);
        QCOMPARE(saved.text(), std::optional<QString>(text));
        if (!primary)
            QCOMPARE(Clipboard::text(), std::optional<QString>(text));
    }

    void restoresForWaylandWindows_data()
    {
        QTest::addColumn<bool>("primary");
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<QByteArray>("read");
        QTest::newRow("texte") << false << Formats{{u"text/plain"_s, u"Déjà copié"_s.toUtf8()}} << u"Déjà copié"_s.toUtf8();
        QTest::newRow("texte et html") << false
                                       << Formats{{u"text/html"_s, "<b>gras</b>"_ba}, {u"text/plain"_s, "gras"_ba}}
                                       << "gras"_ba;
        QTest::newRow("sélection primaire") << true << Formats{{u"text/plain"_s, "primaire"_ba}} << "primaire"_ba;
    }
    void restoresForWaylandWindows()
    {
        QFETCH(bool, primary);
        QFETCH(Formats, formats);
        QFETCH(QByteArray, read);
        const Clipboard::Mode mode = primary ? Clipboard::Mode::Primary : Clipboard::Mode::Clipboard;
        Clipboard::Snapshot saved;
        saved.formats = formats;
        Clipboard::restore(saved, mode);
        QVERIFY(Clipboard::ownedHere(mode));
        QCOMPARE(Clipboard::snapshot(mode).formats, formats);
        QCOMPARE(WaylandWindows::read(u"org.ombry.lecteur"_s, primary), std::optional<QByteArray>(read));

        // A window that copies afterwards takes it over.
        const quint64 before = Clipboard::changeCount();
        const WaylandWindows::Window owner = WaylandWindows::serve(u"org.ombry.copieur"_s, primary, u"après"_s.toUtf8());
        QVERIFY(owner);
        QVERIFY(TestEnv::waitFor([&] { return !Clipboard::ownedHere(mode); }, 3000));
        if (!primary)
            QVERIFY(Clipboard::changeCount() > before);
        QCOMPARE(Clipboard::snapshot(mode).text(), std::optional<QString>(u"après"_s));
    }

    // Put back empty, the clipboard stays empty: the pasted text does not remain.
    void emptyRestoreLeavesNothing()
    {
        Clipboard::setText(u"collé"_s);
        QCOMPARE(WaylandWindows::read(u"org.ombry.lecteur"_s, false), std::optional<QByteArray>(u"collé"_s.toUtf8()));
        Clipboard::restore({});
        QVERIFY(!Clipboard::ownedHere());
        QCOMPARE(WaylandWindows::read(u"org.ombry.lecteur"_s, false), std::nullopt);
        QCOMPARE(Clipboard::text(), std::nullopt);
    }

    // PRIMARY counts as the selection of the window in front only when that
    // window set it, which on Wayland only the focused window can do.
    void primaryOfTheWindowInFront_data()
    {
        QTest::addColumn<bool>("otherInFront");
        QTest::newRow("set by the window in front") << false;
        QTest::newRow("another window came in front since") << true;
    }
    void primaryOfTheWindowInFront()
    {
        QFETCH(bool, otherInFront);
        const WaylandWindows::Window owner = WaylandWindows::serve(u"org.ombry.copieur"_s, true, "choisi");
        QVERIFY(owner);
        WaylandWindows::Window other;
        if (otherInFront)
            other = WaylandWindows::show(u"org.ombry.autre"_s);
        const QString expected = otherInFront ? u"org.ombry.autre"_s : u"org.ombry.copieur"_s;
        std::optional<RunningApp> front;
        QVERIFY(TestEnv::waitFor([&] { return (front = FrontmostApp::current()) && front->name == expected; }));
        QCOMPARE(FrontSelection::primaryHeldBy(*front), !otherInFront);
    }

    // A copy posted into a window counts only when the clipboard changed hands after it.
    void clipboardTakenAfterTheMark_data()
    {
        QTest::addColumn<bool>("windowCopies");
        QTest::addColumn<bool>("taken");
        QTest::newRow("a window copies") << true << true;
        QTest::newRow("we put it there") << false << false;
    }
    void clipboardTakenAfterTheMark()
    {
        QFETCH(bool, windowCopies);
        QFETCH(bool, taken);
        const WaylandWindows::Window before = WaylandWindows::serve(u"org.ombry.avant"_s, false, "avant");
        QVERIFY(before);
        const quint64 mark = SelectionOwners::serverTime();
        WaylandWindows::Window owner;
        if (windowCopies)
            QVERIFY(owner = WaylandWindows::serve(u"org.ombry.copieur"_s, false, "copié"));
        else
            Clipboard::setText(u"nôtre"_s);
        QCOMPARE(FrontSelection::clipboardTakenSince(mark), taken);
    }

private:
    std::unique_ptr<WaylandWindows::SeatKeyboard> keyboard_;
};

OMBRY_TEST_GUI_MAIN(TestWaylandClipboard)
#include "tst_wayland_clipboard.moc"
