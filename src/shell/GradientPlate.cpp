#include "shell/GradientPlate.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QQuickWindow>
#include <QtMath>

GradientPlate::GradientPlate(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    connect(this, &GradientPlate::changed, this, [this] { update(); });
}

QImage GradientPlate::blurred(const QImage &source, int radius)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (radius < 1)
        return image;
    const int w = image.width();
    const int h = image.height();
    QList<int> line;
    // Three box blurs come close to a Gaussian; each pass runs rows, then columns.
    const int box = qMax(1, radius / 2);
    for (int pass = 0; pass < 3; ++pass) {
        for (int horizontal = 1; horizontal >= 0; --horizontal) {
            const int outer = horizontal ? h : w;
            const int inner = horizontal ? w : h;
            line.resize(inner * 4);
            for (int o = 0; o < outer; ++o) {
                const auto pixel = [&](int i) -> QRgb * {
                    return horizontal ? reinterpret_cast<QRgb *>(image.scanLine(o)) + i
                                      : reinterpret_cast<QRgb *>(image.scanLine(i)) + o;
                };
                int sum[4] = {0, 0, 0, 0};
                const auto add = [&](int i, int sign) {
                    if (i < 0 || i >= inner)
                        return;
                    const QRgb p = *pixel(i);
                    sum[0] += sign * qRed(p);
                    sum[1] += sign * qGreen(p);
                    sum[2] += sign * qBlue(p);
                    sum[3] += sign * qAlpha(p);
                };
                for (int i = -box; i <= box; ++i)
                    add(i, 1);
                const int n = 2 * box + 1;
                for (int i = 0; i < inner; ++i) {
                    for (int c = 0; c < 4; ++c)
                        line[4 * i + c] = (sum[c] + n / 2) / n;
                    add(i + box + 1, 1);
                    add(i - box, -1);
                }
                for (int i = 0; i < inner; ++i)
                    *pixel(i) = qRgba(line[4 * i], line[4 * i + 1], line[4 * i + 2], line[4 * i + 3]);
            }
        }
    }
    return image;
}

void GradientPlate::paint(QPainter *painter)
{
    const qreal m = margin();
    const QRectF plate = QRectF(0, 0, width(), height()).adjusted(m, m, -m, -m);
    if (plate.width() <= 0 || plate.height() <= 0)
        return;
    QPainterPath shape;
    shape.addRoundedRect(plate, radius_, radius_);

    if (shadowColor_.alpha() > 0 && shadowRadius_ > 0) {
        const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
        QImage shadow(QSize(qCeil(width() * dpr), qCeil(height() * dpr)), QImage::Format_ARGB32_Premultiplied);
        shadow.setDevicePixelRatio(dpr);
        shadow.fill(Qt::transparent);
        {
            QPainter p(&shadow);
            p.setRenderHint(QPainter::Antialiasing);
            p.fillPath(shape.translated(0, shadowOffsetY_), shadowColor_);
        }
        painter->drawImage(QPointF(0, 0), blurred(shadow, qRound(shadowRadius_ * dpr)));
    }

    QLinearGradient gradient(plate.topLeft(), plate.bottomRight());
    gradient.setColorAt(0, from_);
    gradient.setColorAt(1, to_);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillPath(shape, gradient);
}
