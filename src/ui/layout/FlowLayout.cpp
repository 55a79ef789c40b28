#include "ui/layout/FlowLayout.h"

#include <algorithm>

namespace Flow {

QSizeF measure(const QList<QSizeF> &sizes, std::optional<qreal> width, qreal spacing)
{
    const qreal available = width.value_or(defaultWidth);
    qreal x = 0;
    qreal y = 0;
    qreal rowHeight = 0;
    for (const QSizeF &size : sizes) {
        if (x > 0 && x + size.width() > available) {
            y += rowHeight + spacing;
            x = 0;
            rowHeight = 0;
        }
        x += size.width() + spacing;
        rowHeight = std::max(rowHeight, size.height());
    }
    return {available, y + rowHeight};
}

QList<QPointF> place(const QList<QSizeF> &sizes, const QRectF &rect, qreal spacing)
{
    QList<QPointF> points;
    points.reserve(sizes.size());
    qreal x = rect.left();
    qreal y = rect.top();
    qreal rowHeight = 0;
    for (const QSizeF &size : sizes) {
        if (x + size.width() > rect.right() && x > rect.left()) {
            x = rect.left();
            y += rowHeight + spacing;
            rowHeight = 0;
        }
        points.append({x, y});
        x += size.width() + spacing;
        rowHeight = std::max(rowHeight, size.height());
    }
    return points;
}

} // namespace Flow

FlowLayout::FlowLayout(QQuickItem *parent) : QQuickItem(parent)
{
    setFlag(ItemHasContents, false);
}

void FlowLayout::setSpacing(qreal spacing)
{
    if (qFuzzyCompare(spacing_, spacing))
        return;
    spacing_ = spacing;
    polish();
    Q_EMIT spacingChanged();
}

void FlowLayout::updatePolish()
{
    QList<QQuickItem *> items;
    QList<QSizeF> sizes;
    for (QQuickItem *child : childItems()) {
        // A Repeater is a child too, but it only makes the chips.
        if (!child->isVisible() || child->inherits("QQuickRepeater"))
            continue;
        items.append(child);
        sizes.append({child->implicitWidth(), child->implicitHeight()});
    }
    const std::optional<qreal> width = this->width() > 0 ? std::optional<qreal>(this->width()) : std::nullopt;
    const QSizeF whole = Flow::measure(sizes, width, spacing_);
    const QList<QPointF> points = Flow::place(sizes, QRectF(QPointF(0, 0), QSizeF(whole.width(), whole.height())), spacing_);
    for (qsizetype i = 0; i < items.size(); ++i) {
        items[i]->setPosition(points[i]);
        items[i]->setSize(sizes[i]);
    }
    setImplicitWidth(whole.width());
    setImplicitHeight(whole.height());
}

void FlowLayout::itemChange(ItemChange change, const ItemChangeData &data)
{
    if (change == ItemChildAddedChange && data.item) {
        QQuickItem *child = data.item;
        connect(child, &QQuickItem::implicitWidthChanged, this, &QQuickItem::polish);
        connect(child, &QQuickItem::implicitHeightChanged, this, &QQuickItem::polish);
        connect(child, &QQuickItem::visibleChanged, this, &QQuickItem::polish);
        polish();
    } else if (change == ItemChildRemovedChange && data.item) {
        disconnect(data.item, nullptr, this, nullptr);
        polish();
    }
    QQuickItem::itemChange(change, data);
}

void FlowLayout::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.width() != oldGeometry.width())
        polish();
}
