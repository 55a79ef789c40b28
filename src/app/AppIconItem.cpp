#include "app/AppIconItem.h"

#include "app/OmbryIcon.h"

#include <QPainter>
#include <QQuickWindow>

AppIconItem::AppIconItem(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void AppIconItem::paint(QPainter *painter)
{
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const int side = int(std::min(width(), height()) * ratio);
    if (side <= 0)
        return;
    QImage image = OmbryIcon::image(side, OmbryIcon::accent(), OmbryIcon::Glyph::Bubble);
    image.setDevicePixelRatio(ratio);
    const qreal shown = side / ratio;
    painter->drawImage(QPointF((width() - shown) / 2, (height() - shown) / 2), image);
}
