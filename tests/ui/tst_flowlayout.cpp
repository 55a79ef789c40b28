#include "support/TestEnv.h"
#include "ui/layout/FlowLayout.h"

#include <QTest>

using Sizes = QList<QSizeF>;
using Points = QList<QPointF>;

class TestFlowLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void measure_data()
    {
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<qreal>("width"); // negative: none proposed
        QTest::addColumn<QSizeF>("expected");

        QTest::newRow("empty") << Sizes{} << 300.0 << QSizeF(300, 0);
        QTest::newRow("empty, no width") << Sizes{} << -1.0 << QSizeF(600, 0);
        QTest::newRow("wraps the third") << Sizes{{100, 20}, {100, 20}, {100, 20}} << 216.0 << QSizeF(216, 48);
        QTest::newRow("exact fit stays") << Sizes{{100, 20}, {100, 20}} << 208.0 << QSizeF(208, 20);
        QTest::newRow("one past wraps") << Sizes{{100, 20}, {100, 20}} << 207.0 << QSizeF(207, 48);
        QTest::newRow("too wide alone") << Sizes{{300, 20}, {50, 10}} << 200.0 << QSizeF(200, 38);
        QTest::newRow("tallest makes the row") << Sizes{{50, 20}, {50, 30}, {500, 10}} << 200.0 << QSizeF(200, 48);
        QTest::newRow("no width wraps at 600") << Sizes{{300, 10}, {290, 10}, {10, 10}} << -1.0 << QSizeF(600, 28);
        QTest::newRow("wide content keeps the width") << Sizes{{50, 10}} << 400.0 << QSizeF(400, 10);
    }

    void measure()
    {
        QFETCH(Sizes, sizes);
        QFETCH(qreal, width);
        QFETCH(QSizeF, expected);
        const std::optional<qreal> proposed = width < 0 ? std::nullopt : std::optional<qreal>(width);
        QCOMPARE(Flow::measure(sizes, proposed, 8), expected);
    }

    void place_data()
    {
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<Points>("expected");

        QTest::newRow("empty") << Sizes{} << QRectF(0, 0, 200, 0) << Points{};
        QTest::newRow("wraps the third") << Sizes{{100, 20}, {100, 20}, {100, 20}} << QRectF(0, 0, 216, 48)
                                         << Points{{0, 0}, {108, 0}, {0, 28}};
        QTest::newRow("exact fit stays") << Sizes{{100, 20}, {100, 20}} << QRectF(0, 0, 208, 20)
                                         << Points{{0, 0}, {108, 0}};
        QTest::newRow("too wide alone") << Sizes{{300, 20}, {50, 10}} << QRectF(0, 0, 200, 38)
                                        << Points{{0, 0}, {0, 28}};
        QTest::newRow("tallest sets the next row") << Sizes{{50, 20}, {50, 30}, {150, 10}} << QRectF(0, 0, 200, 48)
                                                   << Points{{0, 0}, {58, 0}, {0, 38}};
        QTest::newRow("offset rectangle") << Sizes{{100, 20}, {100, 20}} << QRectF(10, 5, 150, 48)
                                          << Points{{10, 5}, {10, 33}};
        QTest::newRow("granted width rules") << Sizes{{100, 20}, {100, 20}} << QRectF(0, 0, 300, 20)
                                             << Points{{0, 0}, {108, 0}};
    }

    void place()
    {
        QFETCH(Sizes, sizes);
        QFETCH(QRectF, rect);
        QFETCH(Points, expected);
        QCOMPARE(Flow::place(sizes, rect, 8), expected);
    }
};

OMBRY_TEST_MAIN(TestFlowLayout)
#include "tst_flowlayout.moc"
