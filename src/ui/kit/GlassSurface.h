#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// One glass surface: there is no behind-window blur on X11, so "glass" is a
// translucent material fill of the shape, an optional tint and a thin white
// rim; "identity" draws none of it. Over it the surface may carry a fill of its
// own and a gradient rim. Painted once per size or property change.
class GlassSurface : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT

public:
    enum Style { Regular, Clear, Identity };
    Q_ENUM(Style)

private:
    Q_PROPERTY(Style style READ style WRITE setStyle NOTIFY changed)
    // Corner radius; a negative value makes a capsule (half the height).
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY changed)
    Q_PROPERTY(QColor tint READ tint WRITE setTint NOTIFY changed)
    // The material's colours follow the appearance.
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY changed)
    // A fill of the view itself, over the glass (a card's background).
    Q_PROPERTY(QColor fill READ fill WRITE setFill NOTIFY changed)
    // A rim over everything, inside the edge: from rimStart to rimEnd, top to
    // bottom, or top-left to bottom-right when rimDiagonal.
    Q_PROPERTY(qreal rimWidth READ rimWidth WRITE setRimWidth NOTIFY changed)
    Q_PROPERTY(QColor rimStart READ rimStart WRITE setRimStart NOTIFY changed)
    Q_PROPERTY(QColor rimEnd READ rimEnd WRITE setRimEnd NOTIFY changed)
    Q_PROPERTY(bool rimDiagonal READ rimDiagonal WRITE setRimDiagonal NOTIFY changed)

public:
    explicit GlassSurface(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    Style style() const { return style_; }
    void setStyle(Style v);
    qreal radius() const { return radius_; }
    void setRadius(qreal v);
    QColor tint() const { return tint_; }
    void setTint(const QColor &v);
    bool dark() const { return dark_; }
    void setDark(bool v);
    QColor fill() const { return fill_; }
    void setFill(const QColor &v);
    qreal rimWidth() const { return rimWidth_; }
    void setRimWidth(qreal v);
    QColor rimStart() const { return rimStart_; }
    void setRimStart(const QColor &v);
    QColor rimEnd() const { return rimEnd_; }
    void setRimEnd(const QColor &v);
    bool rimDiagonal() const { return rimDiagonal_; }
    void setRimDiagonal(bool v);

    // The material's colour for a style and appearance (transparent for identity).
    static QColor material(Style style, bool dark);

Q_SIGNALS:
    void changed();

private:
    template<typename T> void assign(T &field, const T &value);
    qreal effectiveRadius() const;

    Style style_ = Regular;
    qreal radius_ = 0;
    QColor tint_ = Qt::transparent;
    bool dark_ = false;
    QColor fill_ = Qt::transparent;
    qreal rimWidth_ = 0;
    QColor rimStart_ = Qt::transparent;
    QColor rimEnd_ = Qt::transparent;
    bool rimDiagonal_ = false;
};
