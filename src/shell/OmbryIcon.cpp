#include "shell/OmbryIcon.h"

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QPointF unit(QPointF v)
{
    const qreal length = std::hypot(v.x(), v.y());
    return length > 0 ? v / length : QPointF();
}

// Angle of `p` seen from `centre` in QPainterPath's degrees (counter-clockwise
// on screen, y growing downward).
qreal screenDegrees(QPointF centre, QPointF p)
{
    return qRadiansToDegrees(std::atan2(centre.y() - p.y(), p.x() - centre.x()));
}

// A corner of radius `r` between the line from the current point to `c1` and the
// line from `c1` to `c2`; lines up to the first tangent point.
void cornerArc(QPainterPath &path, QPointF c1, QPointF c2, qreal r)
{
    const QPointF u = unit(path.currentPosition() - c1);
    const QPointF v = unit(c2 - c1);
    const qreal angle = std::acos(std::clamp(QPointF::dotProduct(u, v), -1.0, 1.0));
    if (angle <= 0 || angle >= M_PI) {
        path.lineTo(c1);
        return;
    }
    const qreal along = r / std::tan(angle / 2);
    const QPointF t1 = c1 + u * along;
    const QPointF t2 = c1 + v * along;
    const QPointF centre = c1 + unit(u + v) * (r / std::sin(angle / 2));
    path.lineTo(t1);
    const qreal start = screenDegrees(centre, t1);
    qreal sweep = screenDegrees(centre, t2) - start;
    while (sweep > 180)
        sweep -= 360;
    while (sweep < -180)
        sweep += 360;
    path.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), start, sweep);
}

// Three box blurs approximate a Gaussian of deviation `sigma`; each pass is
// separable, so a 1024 px shadow stays cheap.
std::vector<int> boxSizes(qreal sigma)
{
    constexpr int n = 3;
    const qreal ideal = std::sqrt(12 * sigma * sigma / n + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const qreal m = (12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4);
    std::vector<int> sizes;
    for (int i = 0; i < n; ++i)
        sizes.push_back(i < std::lround(m) ? lower : upper);
    return sizes;
}

void boxPass(std::vector<float> &in, std::vector<float> &out, int width, int height, int radius, bool horizontal)
{
    const int lines = horizontal ? height : width;
    const int length = horizontal ? width : height;
    const float scale = 1.0f / float(2 * radius + 1);
    for (int line = 0; line < lines; ++line) {
        auto at = [&](int i) -> float & {
            return horizontal ? in[size_t(line) * width + i] : in[size_t(i) * width + line];
        };
        auto put = [&](int i) -> float & {
            return horizontal ? out[size_t(line) * width + i] : out[size_t(i) * width + line];
        };
        float sum = 0;
        for (int i = 0; i <= radius && i < length; ++i)
            sum += at(i);
        for (int i = 0; i < length; ++i) {
            put(i) = sum * scale;
            if (i + radius + 1 < length)
                sum += at(i + radius + 1);
            if (i - radius >= 0)
                sum -= at(i - radius);
        }
    }
}

void blurAlpha(std::vector<float> &alpha, int width, int height, qreal sigma)
{
    if (sigma < 0.3)
        return;
    std::vector<float> scratch(alpha.size());
    for (int size : boxSizes(sigma)) {
        const int radius = (size - 1) / 2;
        if (radius < 1)
            continue;
        boxPass(alpha, scratch, width, height, radius, true);
        boxPass(scratch, alpha, width, height, radius, false);
    }
}

// Draws the shadow that filling `path` (in the painter's current coordinates)
// would cast: `color` at the shape's coverage, moved by `offset` device pixels
// and blurred by `blur` (the blur radius; the Gaussian's deviation is half).
void castShadow(QPainter &painter, QImage &target, const QPainterPath &path, const QColor &color, QPointF offset,
                qreal blur)
{
    const QPainterPath device = painter.worldTransform().map(path);
    QImage mask(target.size(), QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 255));
        p.translate(offset);
        p.drawPath(device);
    }
    const int w = mask.width();
    const int h = mask.height();
    std::vector<float> alpha(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const uchar *row = mask.constScanLine(y);
        for (int x = 0; x < w; ++x)
            alpha[size_t(y) * w + x] = row[x] / 255.0f;
    }
    blurAlpha(alpha, w, h, blur / 2);
    QImage layer(target.size(), QImage::Format_ARGB32_Premultiplied);
    const float r = float(color.redF()), g = float(color.greenF()), b = float(color.blueF());
    const float a0 = float(color.alphaF());
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(layer.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float a = std::clamp(alpha[size_t(y) * w + x] * a0, 0.0f, 1.0f);
            row[x] = qRgba(int(std::lround(r * a * 255)), int(std::lround(g * a * 255)), int(std::lround(b * a * 255)),
                           int(std::lround(a * 255)));
        }
    }
    painter.save();
    painter.resetTransform();
    painter.setClipping(false);
    painter.drawImage(0, 0, layer);
    painter.restore();
}

QColor white(qreal alpha)
{
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}

QPainterPath bubblePath()
{
    QPainterPath path;
    path.moveTo(5, 1);
    path.lineTo(29, 1);
    cornerArc(path, {33, 1}, {33, 5}, 4);
    path.lineTo(33, 19);
    cornerArc(path, {33, 23}, {29, 23}, 4);
    path.lineTo(13, 23);
    path.lineTo(6, 29);
    path.lineTo(6, 23);
    path.lineTo(5, 23);
    cornerArc(path, {1, 23}, {1, 19}, 4);
    path.lineTo(1, 5);
    cornerArc(path, {1, 1}, {5, 1}, 4);
    path.closeSubpath();
    path.setFillRule(Qt::WindingFill);
    return path;
}

QPainterPath dropPath()
{
    QPainterPath path;
    path.moveTo(14, 1);
    path.cubicTo(9, 9, 3, 14.5, 3, 21);
    // From the left point, down through (14, 32), to the right point.
    path.arcTo(QRectF(3, 10, 22, 22), 180, 180);
    path.cubicTo(25, 14.5, 19, 9, 14, 1);
    path.closeSubpath();
    path.setFillRule(Qt::WindingFill);
    return path;
}

void paint(QImage &target, qreal s, const QColor &accent, OmbryIcon::Glyph glyph, OmbryIcon::Marks marks)
{
    QPainter p(&target);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    const qreal m = 0.1 * s;
    const qreal d = s - 2 * m;
    const QRectF tile(m, m, d, d);
    QPainterPath tilePath;
    tilePath.addRoundedRect(tile, 0.225 * d, 0.225 * d);

    // Shadowed tile.
    QColor shadow = accent;
    shadow.setAlphaF(0.35f);
    castShadow(p, target, tilePath, shadow, QPointF(0, 0.04 * d), 0.08 * d);
    p.fillPath(tilePath, accent);

    // Body and gloss.
    p.save();
    p.setClipPath(tilePath);
    QLinearGradient body(tile.topLeft(), tile.bottomRight());
    body.setColorAt(0, OmbryIcon::mix(accent, Qt::white, 0.62));
    body.setColorAt(0.55, accent);
    body.setColorAt(1, OmbryIcon::mix(accent, Qt::black, 0.72));
    p.fillRect(tile, body);
    QLinearGradient gloss(QPointF(0, tile.top()), QPointF(0, tile.center().y()));
    gloss.setColorAt(0, white(0.22));
    gloss.setColorAt(1, white(0));
    // Not extended past its end: only the top half.
    p.fillRect(QRectF(tile.left(), tile.top(), tile.width(), tile.height() / 2), gloss);
    p.restore();

    // Inner rim.
    const QRectF inner = tile.adjusted(0.11 * d, 0.11 * d, -0.11 * d, -0.11 * d);
    QPainterPath innerPath;
    innerPath.addRoundedRect(inner, 0.17 * d, 0.17 * d);
    p.save();
    p.setClipPath(innerPath);
    QLinearGradient rim(QPointF(0, inner.top()), QPointF(0, inner.bottom()));
    rim.setColorAt(0, white(0.25));
    rim.setColorAt(1, white(0.04));
    p.fillRect(inner, rim);
    p.restore();
    p.strokePath(innerPath, QPen(white(0.5), std::max(0.006 * d, 1.0)));

    // Glyph, centred on the tile and 54 % of its width.
    const bool bubble = glyph == OmbryIcon::Glyph::Bubble;
    const qreal w = bubble ? 34 : 28;
    const qreal h = bubble ? 30 : 34;
    const qreal k = 0.54 * d / w;
    p.save();
    p.translate(tile.center().x() - 0.27 * d, tile.center().y() - h * k / 2);
    p.scale(k, k);
    const QPainterPath shape = bubble ? bubblePath() : dropPath();
    // The glyph's shadow is not scaled with the drawing.
    castShadow(p, target, shape, QColor::fromRgbF(0, 0, 0, 0.18f), QPointF(0, 0.6), 1.6);
    p.fillPath(shape, Qt::white);
    if (bubble) {
        if (marks == OmbryIcon::Marks::Bars) {
            struct Bar
            {
                qreal x, y, height;
            };
            for (const Bar &bar : {Bar{9, 10, 4}, Bar{13, 8, 8}, Bar{17, 5.5, 13}, Bar{21, 8, 8}, Bar{25, 10, 4}}) {
                QPainterPath rect;
                rect.addRoundedRect(QRectF(bar.x, bar.y, 2.4, bar.height), 1.2, 1.2);
                p.fillPath(rect, accent);
            }
        } else {
            for (qreal x : {11.0, 17.0, 23.0}) {
                QPainterPath dot;
                dot.addEllipse(QPointF(x, 12), 2.4, 2.4);
                p.fillPath(dot, accent);
            }
        }
    } else {
        QPainterPath highlight;
        highlight.arcMoveTo(QRectF(9, 16, 10, 10), 180);
        highlight.arcTo(QRectF(9, 16, 10, 10), 180, 90);
        QPen pen(accent, 2.4);
        pen.setCapStyle(Qt::RoundCap);
        p.strokePath(highlight, pen);
    }
    p.restore();
}

} // namespace

namespace OmbryIcon {

QColor accent()
{
    return QColor::fromRgbF(0, float(0.7215686274509804), float(0.6627450980392157), 1);
}

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    const QColor x = a.toRgb();
    const QColor y = b.toRgb();
    auto blend = [t](float u, float v) { return float(std::clamp(t * u + (1 - t) * v, 0.0, 1.0)); };
    return QColor::fromRgbF(blend(x.redF(), y.redF()), blend(x.greenF(), y.greenF()), blend(x.blueF(), y.blueF()), 1);
}

QImage image(int pixels, const QColor &accentColor, Glyph glyph, Marks marks)
{
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    out.fill(Qt::transparent);
    paint(out, pixels, accentColor, glyph, marks);
    return out;
}

QList<IconsetFile> iconsetFiles()
{
    QList<IconsetFile> files;
    for (int n : {16, 32, 128, 256, 512}) {
        const QString base = QStringLiteral("icon_%1x%1").arg(n);
        files.append({base + QStringLiteral(".png"), n});
        files.append({base + QStringLiteral("@2x.png"), 2 * n});
    }
    return files;
}

void writeIconset(const QString &folder, const QColor &accentColor, Glyph glyph)
{
    QDir().mkpath(folder);
    for (const IconsetFile &file : iconsetFiles()) {
        const QImage picture = image(file.pixels, accentColor, glyph);
        if (picture.isNull())
            continue;
        picture.save(QDir(folder).filePath(file.name), "PNG");
    }
}

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        QIcon made;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            made.addPixmap(QPixmap::fromImage(image(size, accent(), Glyph::Bubble)));
        return made;
    }();
    return icon;
}

} // namespace OmbryIcon
