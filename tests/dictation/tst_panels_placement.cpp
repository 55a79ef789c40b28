#include "dictation/BubbleController.h"
#include "dictation/OverlayController.h"
#include "platform/FloatingPanel.h"
#include "support/TestEnv.h"

#include <QGuiApplication>

// Where the floating panels go (X11's downward y) and how tall the bubble is.
Q_DECLARE_METATYPE(std::optional<QPoint>)

class TestPanelsPlacement : public QObject
{
    Q_OBJECT

    const QRect first{0, 30, 1280, 994};
    const QRect second{1920, 0, 1280, 984};

private Q_SLOTS:
    void overlay_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("whole screen") << QRect(0, 0, 1280, 1024) << QPoint(320, 910);
        QTest::newRow("bottom panel") << QRect(0, 0, 1920, 1040) << QPoint(640, 926);
        QTest::newRow("second screen, top panel") << QRect(1920, 30, 1280, 994) << QPoint(2240, 910);
    }

    void overlay()
    {
        QFETCH(QRect, area);
        QFETCH(QPoint, topLeft);
        QCOMPARE(OverlayController::placement(area), topLeft);
    }

    void overlayScreen_data()
    {
        QTest::addColumn<std::optional<QPoint>>("pointer");
        QTest::addColumn<std::optional<QPoint>>("front");
        QTest::addColumn<QRect>("area");
        const std::optional<QPoint> none;
        QTest::newRow("X11: pointer on the second screen") << std::optional(QPoint(2000, 500)) << none << second;
        QTest::newRow("X11: the pointer wins over the application")
            << std::optional(QPoint(100, 100)) << std::optional(QPoint(2000, 500)) << first;
        QTest::newRow("X11: pointer between screens") << std::optional(QPoint(1500, 1100)) << none << first;
        QTest::newRow("Wayland: application on the second screen") << none << std::optional(QPoint(1920, 0)) << second;
        QTest::newRow("Wayland: application on the primary screen") << none << std::optional(QPoint(640, 512)) << first;
        QTest::newRow("Wayland: application on no screen") << none << std::optional(QPoint(-50, -50)) << first;
        QTest::newRow("Wayland: application unknown") << none << none << first;
    }

    void overlayScreen()
    {
        QFETCH(std::optional<QPoint>, pointer);
        QFETCH(std::optional<QPoint>, front);
        QFETCH(QRect, area);
        // The primary screen listed second, as the server may order them.
        const QList<FloatingPanel::Screen> screens = {{QRect(1920, 0, 1280, 1024), second, false},
                                                      {QRect(0, 0, 1280, 1024), first, true}};
        QCOMPARE(FloatingPanel::overlayArea(screens, pointer, front), area);
    }

    void overlayScreenWithoutPrimary()
    {
        const QList<FloatingPanel::Screen> screens = {{QRect(1920, 0, 1280, 1024), second, false},
                                                      {QRect(0, 0, 1280, 1024), first, false}};
        QCOMPARE(FloatingPanel::overlayArea(screens, std::nullopt, std::nullopt), second);
        QCOMPARE(FloatingPanel::overlayArea({}, std::nullopt, QPoint(1, 1)), QRect());
    }

    void bubble_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<int>("height");
        QTest::addColumn<QPoint>("topLeft");
        const QRect screen(0, 0, 1280, 1024);
        QTest::newRow("below the pointer, centred") << QPoint(600, 400) << screen << 120 << QPoint(410, 418);
        QTest::newRow("near the bottom: above") << QPoint(600, 950) << screen << 200 << QPoint(410, 732);
        QTest::newRow("just fits below") << QPoint(600, 878) << screen << 120 << QPoint(410, 896);
        QTest::newRow("one pixel too low") << QPoint(600, 879) << screen << 120 << QPoint(410, 741);
        QTest::newRow("left edge") << QPoint(20, 400) << screen << 120 << QPoint(8, 418);
        QTest::newRow("right edge") << QPoint(1270, 400) << screen << 120 << QPoint(892, 418);
        QTest::newRow("narrow screen: right edge wins") << QPoint(100, 100) << QRect(0, 0, 300, 600) << 120 << QPoint(-88, 118);
        QTest::newRow("second screen") << QPoint(1930, 100) << QRect(1920, 0, 1280, 1024) << 120 << QPoint(1928, 118);
        QTest::newRow("no screen: unclamped") << QPoint(5, 1020) << QRect() << 120 << QPoint(-185, 1038);
    }

    void bubble()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QRect, area);
        QFETCH(int, height);
        QFETCH(QPoint, topLeft);
        QCOMPARE(BubbleController::placement(pointer, area, height), topLeft);
    }

    void bubbleHeight_data()
    {
        QTest::addColumn<qreal>("fitting");
        QTest::addColumn<int>("height");
        QTest::newRow("one line") << 80.0 << 120;
        QTest::newRow("medium") << 250.4 << 251;
        QTest::newRow("long: scrolls") << 2000.0 << 420;
        QTest::newRow("exactly the maximum") << 420.0 << 420;
    }

    void bubbleHeight()
    {
        QFETCH(qreal, fitting);
        QFETCH(int, height);
        QCOMPARE(BubbleController::panelHeight(fitting), height);
    }

    void roundedOutline_data()
    {
        QTest::addColumn<QRect>("box");
        QTest::addColumn<int>("radius");
        QTest::addColumn<QPoint>("inside");
        QTest::addColumn<QPoint>("outside");
        QTest::newRow("capsule: ends are round") << QRect(0, 0, 200, 40) << 20 << QPoint(2, 20) << QPoint(1, 1);
        QTest::newRow("bubble corner") << QRect(0, 0, 380, 200) << 20 << QPoint(20, 1) << QPoint(2, 2);
        QTest::newRow("bottom-right corner") << QRect(0, 0, 380, 200) << 20 << QPoint(379, 100) << QPoint(378, 198);
        QTest::newRow("square") << QRect(10, 10, 50, 50) << 0 << QPoint(10, 10) << QPoint(9, 9);
    }

    void roundedOutline()
    {
        QFETCH(QRect, box);
        QFETCH(int, radius);
        QFETCH(QPoint, inside);
        QFETCH(QPoint, outside);
        const QRegion region = FloatingPanel::roundedRegion(box, radius);
        QVERIFY(region.contains(inside));
        QVERIFY(!region.contains(outside));
        QCOMPARE(region.boundingRect(), box);
    }
};

OMBRY_TEST_MAIN_IMPL(TestPanelsPlacement, QGuiApplication)
#include "tst_panels_placement.moc"
