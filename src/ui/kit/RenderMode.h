#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;

// How views are drawn when pages are rendered to files rather than shown: the
// theme possibly forced without touching the settings, no onboarding sheet
// (the glass goes plain through the kit's own switch). Off for a normal run;
// the snapshot switch turns it on once.
class RenderMode final : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(bool snapshot READ snapshot NOTIFY changed)
    // Whether `dark` overrides the theme of the settings.
    Q_PROPERTY(bool themeForced READ themeForced NOTIFY changed)
    Q_PROPERTY(bool dark READ dark NOTIFY changed)

public:
    static RenderMode *instance();
    static RenderMode *create(QQmlEngine *, QJSEngine *);

    bool snapshot() const { return snapshot_; }
    bool themeForced() const { return forcedDark_.has_value(); }
    bool dark() const { return forcedDark_.value_or(false); }

    // The snapshot switch's settings; `forcedDark` empty keeps the settings'
    // theme. Also turns the glass plain.
    void enterSnapshot(std::optional<bool> forcedDark);

    // The theme that MUREL_THEME asks for: "dark" is dark, any other value
    // light, none keeps the settings' theme.
    static std::optional<bool> forcedDarkFrom(const std::optional<QByteArray> &value);

Q_SIGNALS:
    void changed();

private:
    // Not default-constructible, so that QML takes instance() through create().
    explicit RenderMode(QObject *parent) : QObject(parent) {}
    bool snapshot_ = false;
    std::optional<bool> forcedDark_;
};
