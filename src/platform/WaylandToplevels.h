#pragma once

#include <QList>
#include <QPoint>
#include <QString>

#include <optional>

// The windows of the Wayland session as the compositor lists them (wlroots'
// foreign-toplevel protocol): their application id, which one is active, the
// screen they are on; and a way to activate one again. Xwayland windows are
// listed too, by their WM_CLASS class. Main thread.
namespace WaylandToplevels {

struct Toplevel
{
    quint64 id = 0;           // ours, never reused within the process
    QString appId;            // the Wayland app_id (a desktop-file id, or a bare name)
    QString title;
    bool activated = false;
    std::optional<QPoint> screen; // where the screen it is on begins, when known
    quint64 activatedAt = 0;  // X server time of its latest activation
};

// Whether the compositor lists its windows.
bool available();

// The window that has the keyboard focus, if the compositor says.
std::optional<Toplevel> active();

// The window of that id, while it exists.
std::optional<Toplevel> find(quint64 id);

// Asks the compositor to activate the window again; false when it is gone.
bool activate(quint64 id);

// Called by the connection once its globals are known.
void attach();

} // namespace WaylandToplevels
