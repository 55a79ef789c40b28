#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// A rounded plate filled with a diagonal gradient (top-leading to
// bottom-trailing) over its own soft shadow, painted once per size on the CPU:
// no shader to compile, which on software GL costs more than the whole frame.
// The item covers the shadow too: the plate is inset by `margin`.
class GradientPlate : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(qreal radius MEMBER radius_ NOTIFY changed)
    Q_PROPERTY(QColor from MEMBER from_ NOTIFY changed)
    Q_PROPERTY(QColor to MEMBER to_ NOTIFY changed)
    Q_PROPERTY(QColor shadowColor MEMBER shadowColor_ NOTIFY changed)
    Q_PROPERTY(qreal shadowRadius MEMBER shadowRadius_ NOTIFY changed)
    Q_PROPERTY(qreal shadowOffsetY MEMBER shadowOffsetY_ NOTIFY changed)
    // Room around the plate for the shadow.
    Q_PROPERTY(qreal margin READ margin NOTIFY changed)

public:
    explicit GradientPlate(QQuickItem *parent = nullptr);

    qreal margin() const { return shadowRadius_ + qAbs(shadowOffsetY_); }
    void paint(QPainter *painter) override;

    // A blur of `image`'s alpha by three box passes of about `radius` pixels.
    static QImage blurred(const QImage &image, int radius);

Q_SIGNALS:
    void changed();

private:
    qreal radius_ = 18;
    QColor from_;
    QColor to_;
    QColor shadowColor_ = Qt::transparent;
    qreal shadowRadius_ = 0;
    qreal shadowOffsetY_ = 0;
};
