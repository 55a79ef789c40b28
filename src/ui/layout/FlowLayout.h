#pragma once

#include <QList>
#include <QPointF>
#include <QQuickItem>
#include <QRectF>
#include <QSizeF>
#include <QtQml/qqmlregistration.h>

#include <optional>

// Rows of children left to right, a new row when the next one would pass the right
// edge. A child that starts a row stays there even when it is wider than the row.
namespace Flow {

// The size of the whole flow: the available width (600 when none is proposed) by the
// height of its rows.
QSizeF measure(const QList<QSizeF> &sizes, std::optional<qreal> width, qreal spacing);
// The top-left corner of each child inside `rect`.
QList<QPointF> place(const QList<QSizeF> &sizes, const QRectF &rect, qreal spacing);

inline constexpr qreal defaultWidth = 600;

} // namespace Flow

// Lays its visible children out as a flow at their implicit sizes; its implicit height
// follows the rows for the width it is given.
class FlowLayout : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal spacing READ spacing WRITE setSpacing NOTIFY spacingChanged)

public:
    explicit FlowLayout(QQuickItem *parent = nullptr);

    qreal spacing() const { return spacing_; }
    void setSpacing(qreal spacing);

Q_SIGNALS:
    void spacingChanged();

protected:
    void updatePolish() override;
    void itemChange(ItemChange change, const ItemChangeData &data) override;
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    qreal spacing_ = 8;
};
