#include "ui/kit/GlassSurface.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

GlassSurface::GlassSurface(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    connect(this, &GlassSurface::changed, this, [this] { update(); });
}

template<typename T> void GlassSurface::assign(T &field, const T &value)
{
    if (field == value)
        return;
    field = value;
    Q_EMIT changed();
}

void GlassSurface::setStyle(Style v) { assign(style_, v); }
void GlassSurface::setRadius(qreal v) { assign(radius_, v); }
void GlassSurface::setTint(const QColor &v) { assign(tint_, v); }
void GlassSurface::setDark(bool v) { assign(dark_, v); }
void GlassSurface::setFill(const QColor &v) { assign(fill_, v); }
void GlassSurface::setRimWidth(qreal v) { assign(rimWidth_, v); }
void GlassSurface::setRimStart(const QColor &v) { assign(rimStart_, v); }
void GlassSurface::setRimEnd(const QColor &v) { assign(rimEnd_, v); }
void GlassSurface::setRimDiagonal(bool v) { assign(rimDiagonal_, v); }

QColor GlassSurface::material(Style style, bool dark)
{
    switch (style) {
    case Regular:
        return dark ? QColor(38, 40, 42, 199) : QColor(246, 248, 248, 199);
    case Clear:
        return dark ? QColor(38, 40, 42, 89) : QColor(250, 252, 252, 89);
    case Identity:
        break;
    }
    return Qt::transparent;
}

qreal GlassSurface::effectiveRadius() const
{
    const qreal r = radius_ < 0 ? height() / 2 : radius_;
    return qMin(r, qMin(width(), height()) / 2);
}

void GlassSurface::paint(QPainter *painter)
{
    const QRectF box = boundingRect();
    if (box.isEmpty())
        return;
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal r = effectiveRadius();
    QPainterPath shape;
    shape.addRoundedRect(box, r, r);

    // Back to front: material, tint, the view's own fill, the glass rim, the rim.
    if (style_ != Identity) {
        painter->fillPath(shape, material(style_, dark_));
        if (tint_.alpha() > 0)
            painter->fillPath(shape, tint_);
    }
    if (fill_.alpha() > 0)
        painter->fillPath(shape, fill_);
    if (style_ != Identity) {
        // Centred on the outline: half of it falls outside and is clipped.
        const qreal w = 0.6;
        QPainterPath inner;
        inner.addRoundedRect(box.adjusted(w / 4, w / 4, -w / 4, -w / 4), r, r);
        painter->setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.22), w));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(inner);
    }
    if (rimWidth_ > 0 && (rimStart_.alpha() > 0 || rimEnd_.alpha() > 0)) {
        const qreal half = rimWidth_ / 2;
        const QRectF rimBox = box.adjusted(half, half, -half, -half);
        QLinearGradient gradient(rimBox.topLeft(), rimDiagonal_ ? rimBox.bottomRight() : rimBox.bottomLeft());
        gradient.setColorAt(0, rimStart_);
        gradient.setColorAt(1, rimEnd_);
        painter->setPen(QPen(QBrush(gradient), rimWidth_));
        painter->setBrush(Qt::NoBrush);
        const qreal rr = qMax<qreal>(0, r - half);
        painter->drawRoundedRect(rimBox, rr, rr);
    }
}
