#pragma once

#include "model/SettingsTypes.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>

class AppSettings;

// Process-wide switch that draws every glass surface plainly (page snapshots).
// Off at start; set once by the snapshot switch before anything is drawn.
namespace GlassOff {
bool on();
void setOn(bool on);
} // namespace GlassOff

// What the QML kit needs from C++: the glass switches, the symbol table, the
// fr_FR number format and the application-icon cache. Built by the application
// on its settings; QML reaches it as the module's Kit singleton.
class Kit final : public QObject
{
    Q_OBJECT

    Q_PROPERTY(bool glassOff READ glassOff WRITE setGlassOff NOTIFY glassOffChanged)
    Q_PROPERTY(bool lightVisuals READ lightVisuals NOTIFY lightVisualsChanged)
    // Glass replaced by a plain fill: the snapshot switch first, then light visuals.
    Q_PROPERTY(bool plain READ plain NOTIFY plainChanged)
    // Animated indicators: 30 frames per second, 15 with light visuals.
    Q_PROPERTY(int frameInterval READ frameInterval NOTIFY lightVisualsChanged)
    Q_PROPERTY(QString symbolFont READ symbolFont CONSTANT)
    // Whether a compositor blends translucent windows with what lies beneath;
    // without one a floating panel's see-through parts must be drawn opaque.
    Q_PROPERTY(bool composited READ composited CONSTANT)

public:
    // Follows `settings`' performance mode; without them, the automatic choice.
    explicit Kit(AppSettings *settings, QObject *parent = nullptr);

    bool glassOff() const;
    static void setGlassOff(bool on) { GlassOff::setOn(on); }
    bool lightVisuals() const { return lightVisuals_; }
    bool plain() const { return glassOff() || lightVisuals_; }
    int frameInterval() const { return lightVisuals_ ? 1000 / 15 : 1000 / 30; }
    static QString symbolFont() { return QStringLiteral("Material Icons"); }
    static bool composited();

    // The glyph for a symbol name of the program's vocabulary ("globe",
    // "checkmark.circle.fill"…); empty for an unknown name.
    Q_INVOKABLE static QString glyph(const QString &name);
    // Every name of the table (tests check each glyph against the font).
    static QStringList symbolNames();

    // A whole number as shown to the user: "12 345" (fr_FR, narrow no-break space).
    Q_INVOKABLE static QString formatNumber(qint64 value);
    Q_INVOKABLE static QString formatDecimal(double value, int decimals);

    // The contrast ratio of `text` drawn over `background` (1 to 21), the text's
    // transparency taken into account; `under` is what shows through a
    // translucent background (the window's own background).
    Q_INVOKABLE static double contrast(const QColor &text, const QColor &background, const QColor &under = Qt::white);
    // `top` painted over the opaque `bottom`.
    Q_INVOKABLE static QColor over(const QColor &top, const QColor &bottom);

    // Whether an application icon exists for `key` (a desktop id, an icon name or
    // an absolute path); the lookup is cached, misses too.
    Q_INVOKABLE static bool hasAppIcon(const QString &key);
    // The image:// address of that icon.
    Q_INVOKABLE static QString appIconSource(const QString &key);

    // Re-reads the light-visuals decision (settings change, power state).
    void refresh();

Q_SIGNALS:
    void glassOffChanged();
    void lightVisualsChanged();
    void plainChanged();

private:
    PerformanceMode mode() const;

    QPointer<AppSettings> settings_;
    bool lightVisuals_ = false;
};
