#include "platform/SessionRoutes.h"

#include <QtTest>

using namespace SessionRoutes;

Q_DECLARE_METATYPE(SessionRoutes::Offer)
Q_DECLARE_METATYPE(SessionRoutes::Keys)
Q_DECLARE_METATYPE(SessionRoutes::Typing)
Q_DECLARE_METATYPE(SessionRoutes::Clipboard)
Q_DECLARE_METATYPE(SessionRoutes::Front)

// Which way each service goes, from what the session offers.
class TestSessionRoutes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choose_data()
    {
        QTest::addColumn<Offer>("offer");
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<Typing>("typing");
        QTest::addColumn<Clipboard>("clipboard");
        QTest::addColumn<Front>("front");

        Offer x11;
        x11.x11 = true;
        x11.accessibilityBus = true;
        x11.evdevReadable = true;
        QTest::newRow("X11 session") << x11 << Keys::X11 << Typing::X11 << Clipboard::X11 << Front::X11;

        Offer sway;
        sway.x11 = sway.wayland = true;
        sway.virtualKeyboard = sway.dataControl = sway.foreignToplevel = true;
        sway.desktop = QStringLiteral("sway");
        QTest::newRow("sway") << sway << Keys::Actions << Typing::VirtualKeyboard << Clipboard::DataControl
                              << Front::ForeignToplevel;
        Offer swayInput = sway;
        swayInput.evdevReadable = swayInput.uinputWritable = true;
        QTest::newRow("sway, user in the input group")
            << swayInput << Keys::Evdev << Typing::VirtualKeyboard << Clipboard::DataControl << Front::ForeignToplevel;

        Offer gnome;
        gnome.x11 = gnome.wayland = true;
        gnome.portalShortcuts = gnome.portalRemoteDesktop = gnome.accessibilityBus = true;
        gnome.desktop = QStringLiteral("GNOME");
        QTest::newRow("GNOME 48") << gnome << Keys::Portal << Typing::RemoteDesktop << Clipboard::XwaylandBridge
                                  << Front::Accessibility;
        Offer oldGnome = gnome;
        oldGnome.portalShortcuts = false;
        QTest::newRow("GNOME before 48") << oldGnome << Keys::Actions << Typing::RemoteDesktop
                                         << Clipboard::XwaylandBridge << Front::Accessibility;

        Offer kde = gnome;
        kde.dataControl = true;
        kde.desktop = QStringLiteral("KDE");
        QTest::newRow("KDE Plasma") << kde << Keys::Portal << Typing::RemoteDesktop << Clipboard::DataControl
                                    << Front::Accessibility;

        Offer bare;
        bare.x11 = bare.wayland = true;
        QTest::newRow("no route to type") << bare << Keys::Actions << Typing::None << Clipboard::XwaylandBridge
                                          << Front::Accessibility;
        Offer uinput = bare;
        uinput.uinputWritable = true;
        QTest::newRow("uinput only") << uinput << Keys::Actions << Typing::Uinput << Clipboard::XwaylandBridge
                                     << Front::Accessibility;
    }

    void choose()
    {
        QFETCH(Offer, offer);
        QFETCH(Keys, keys);
        QFETCH(Typing, typing);
        QFETCH(Clipboard, clipboard);
        QFETCH(Front, front);
        const Routes routes = SessionRoutes::choose(offer);
        QCOMPARE(routes.keys, keys);
        QCOMPARE(routes.typing, typing);
        QCOMPARE(routes.clipboard, clipboard);
        QCOMPARE(routes.front, front);
    }
};

QTEST_GUILESS_MAIN(TestSessionRoutes)
#include "tst_sessionroutes.moc"
