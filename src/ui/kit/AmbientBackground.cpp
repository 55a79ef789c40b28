#include "ui/kit/AmbientBackground.h"

#include <QCache>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

namespace {

int gRenders = 0;

struct Light
{
    QColor colour;
    qreal darkOpacity, lightOpacity;
    qreal diameter, blur, dx, dy;
};

const Light kLights[] = {
    {QColor(0, 184, 169), 0.35, 0.3, 620, 140, -380, -300},
    {QColor::fromRgbF(0.35f, 0.62f, 1.0f), 0.22, 0.16, 560, 150, 460, -160},
    {QColor::fromRgbF(0.55f, 0.9f, 0.8f), 0.2, 0.28, 700, 160, 160, 420},
};

// A blurred disc as a radial gradient: full inside, half at the disc's edge,
// gone one blur radius outside it (a Gaussian blur of a disc, closely enough).
void drawBlurredDisc(QPainter &p, QPointF centre, const Light &light, qreal opacity)
{
    const qreal r = light.diameter / 2;
    const qreal outer = r + light.blur;
    QRadialGradient g(centre, outer);
    QColor c = light.colour;
    auto at = [&](qreal radius, qreal alpha) {
        QColor stop = c;
        stop.setAlphaF(float(opacity * alpha));
        g.setColorAt(std::clamp(radius / outer, 0.0, 1.0), stop);
    };
    at(0, 1);
    at(std::max<qreal>(0, r - light.blur), 1);
    at(r - light.blur / 2, 0.82);
    at(r, 0.5);
    at(r + light.blur / 2, 0.16);
    at(outer, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, outer, outer);
}

} // namespace

AmbientBackground::AmbientBackground(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setOpaquePainting(true);
}

void AmbientBackground::setDark(bool on)
{
    if (dark_ == on)
        return;
    dark_ = on;
    Q_EMIT darkChanged();
    update();
}

void AmbientBackground::setLightVisuals(bool on)
{
    if (lightVisuals_ == on)
        return;
    lightVisuals_ = on;
    Q_EMIT lightVisualsChanged();
    update();
}

int AmbientBackground::renderCount()
{
    return gRenders;
}

QImage AmbientBackground::render(QSize size, bool dark, bool lightVisuals)
{
    static QCache<QString, QImage> cache(4);
    if (size.isEmpty())
        return QImage();
    const QString key = QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height())
                        + (dark ? QLatin1String("d") : QLatin1String("l")) + (lightVisuals ? QLatin1String("v") : QLatin1String(""));
    if (const QImage *hit = cache.object(key))
        return *hit;
    ++gRenders;
    auto *image = new QImage(size, QImage::Format_RGB32);
    QPainter p(image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(QPointF(0, 0), QSizeF(size));
    if (lightVisuals) {
        QLinearGradient g(area.topLeft(), area.bottomRight());
        g.setColorAt(0, dark ? QColor::fromRgbF(0.05f, 0.1f, 0.11f) : QColor::fromRgbF(0.9f, 0.97f, 0.96f));
        g.setColorAt(1, dark ? QColor::fromRgbF(0.04f, 0.07f, 0.09f) : QColor::fromRgbF(0.95f, 0.97f, 0.99f));
        p.fillRect(area, g);
    } else {
        p.fillRect(area, dark ? QColor::fromRgbF(0.05f, 0.09f, 0.1f) : QColor::fromRgbF(0.95f, 0.98f, 0.98f));
        for (const Light &light : kLights)
            drawBlurredDisc(p, area.center() + QPointF(light.dx, light.dy), light,
                            dark ? light.darkOpacity : light.lightOpacity);
    }
    p.end();
    const QImage result = *image;
    cache.insert(key, image);
    return result;
}

void AmbientBackground::paint(QPainter *painter)
{
    const QSize size = boundingRect().size().toSize();
    painter->drawImage(QPoint(0, 0), render(size, dark_, lightVisuals_));
}
