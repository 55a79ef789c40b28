#include "ui/kit/RenderMode.h"

#include "ui/kit/Kit.h"

#include <QQmlEngine>

RenderMode *RenderMode::instance()
{
    static RenderMode *mode = new RenderMode(nullptr); // process-wide, like the switch it stands for
    return mode;
}

RenderMode *RenderMode::create(QQmlEngine *, QJSEngine *)
{
    QQmlEngine::setObjectOwnership(instance(), QQmlEngine::CppOwnership);
    return instance();
}

void RenderMode::enterSnapshot(std::optional<bool> forcedDark)
{
    GlassOff::setOn(true);
    snapshot_ = true;
    forcedDark_ = forcedDark;
    Q_EMIT changed();
}

std::optional<bool> RenderMode::forcedDarkFrom(const std::optional<QByteArray> &value)
{
    if (!value)
        return std::nullopt;
    return *value == "dark";
}
