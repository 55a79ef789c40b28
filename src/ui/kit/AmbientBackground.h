#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// The main window's full-window background: soft coloured light on a base
// colour, or a two-colour gradient with light visuals. Rendered once per size,
// appearance and light-visuals setting into a shared cache, never blurred live.
class AmbientBackground : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY darkChanged)
    Q_PROPERTY(bool lightVisuals READ lightVisuals WRITE setLightVisuals NOTIFY lightVisualsChanged)

public:
    explicit AmbientBackground(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    bool dark() const { return dark_; }
    void setDark(bool on);
    bool lightVisuals() const { return lightVisuals_; }
    void setLightVisuals(bool on);

    // The picture for a size (device pixels), cached; re-rendered only when one
    // of the three inputs changes.
    static QImage render(QSize size, bool dark, bool lightVisuals);
    // How many pictures were rendered since start (benchmarks, tests).
    static int renderCount();

Q_SIGNALS:
    void darkChanged();
    void lightVisualsChanged();

private:
    bool dark_ = false;
    bool lightVisuals_ = false;
};
