#include "support/TestEnv.h"
#include "ui/layout/FlowLayout.h"

#include <QQuickItem>
#include <QTest>

#include <memory>

using Sizes = QList<QSizeF>;
using Points = QList<QPointF>;

namespace {

// The item's own pass, run at once instead of waiting for a frame.
class FlowProbe : public FlowLayout
{
public:
    using FlowLayout::updatePolish;
};

} // namespace

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

    // The item places its visible children at their implicit sizes and takes the rows'
    // height; a new width wraps them again.
    void item_data()
    {
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<QList<bool>>("visible");
        QTest::addColumn<qreal>("width"); // 0: none given yet
        QTest::addColumn<Points>("expected"); // of the visible children
        QTest::addColumn<qreal>("height");

        QTest::newRow("three in 216") << Sizes{{100, 20}, {100, 20}, {100, 20}} << QList<bool>{true, true, true} << 216.0
                                      << Points{{0, 0}, {108, 0}, {0, 28}} << 48.0;
        QTest::newRow("hidden child takes no place")
            << Sizes{{100, 20}, {100, 20}, {100, 20}} << QList<bool>{true, false, true} << 216.0
            << Points{{0, 0}, {108, 0}} << 20.0;
        QTest::newRow("no width yet wraps at 600") << Sizes{{300, 10}, {290, 10}, {10, 12}}
                                                   << QList<bool>{true, true, true} << 0.0
                                                   << Points{{0, 0}, {308, 0}, {0, 18}} << 30.0;
        QTest::newRow("nothing") << Sizes{} << QList<bool>{} << 300.0 << Points{} << 0.0;
    }

    void item()
    {
        QFETCH(Sizes, sizes);
        QFETCH(QList<bool>, visible);
        QFETCH(qreal, width);
        QFETCH(Points, expected);
        QFETCH(qreal, height);
        FlowProbe flow;
        flow.setSpacing(8);
        flow.setWidth(width);
        std::vector<std::unique_ptr<QQuickItem>> children;
        QList<QQuickItem *> shown;
        for (qsizetype i = 0; i < sizes.size(); ++i) {
            auto child = std::make_unique<QQuickItem>();
            child->setImplicitWidth(sizes.at(i).width());
            child->setImplicitHeight(sizes.at(i).height());
            child->setVisible(visible.at(i));
            child->setParentItem(&flow);
            if (visible.at(i))
                shown << child.get();
            children.push_back(std::move(child));
        }
        flow.updatePolish();
        Points placed;
        for (QQuickItem *child : shown) {
            placed << child->position();
            QCOMPARE(child->size(), QSizeF(child->implicitWidth(), child->implicitHeight()));
        }
        QCOMPARE(placed, expected);
        QCOMPARE(flow.implicitHeight(), height);

        // Wide enough for everything: one row.
        flow.setWidth(1000);
        flow.updatePolish();
        qreal x = 0;
        qreal tallest = 0;
        for (QQuickItem *child : shown) {
            QCOMPARE(child->position(), QPointF(x, 0));
            x += child->width() + 8;
            tallest = std::max(tallest, child->height());
        }
        QCOMPARE(flow.implicitHeight(), tallest);
        children.clear();
    }
};

OMBRY_TEST_GUI_MAIN(TestFlowLayout)
#include "tst_flowlayout.moc"
