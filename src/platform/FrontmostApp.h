#pragma once

#include <QPoint>
#include <QString>

#include <optional>

// A running application as the dictation pipeline sees it: the owner of the
// active window (an X11 window, or a native Wayland one).
struct RunningApp
{
    qint64 pid = 0;                  // 0 when the window does not say
    QString name;                    // the desktop entry's Name[fr] or Name, else the WM_CLASS class
    std::optional<QString> bundleId; // the desktop-file id, else the WM_CLASS class
    QString iconName;                // the desktop entry's Icon (for the icon theme), may be empty
    QString wmInstance;              // WM_CLASS instance and class (terminals are known by them)
    QString wmClass;
    unsigned long window = 0;        // the X window to activate again
    quint64 toplevel = 0;            // or the Wayland window (WaylandToplevels' id)

    bool operator==(const RunningApp &) const = default;
};

// The frontmost application, and this application's own identity. On X11
// through EWMH; in a Wayland session the compositor's list of windows says
// which one is active, or, where the compositor lists none, the accessibility
// bus; EWMH names it when it is an Xwayland window.
namespace FrontmostApp {

// This application's identifier and name.
QString ownBundleId(); // "com.corvanel.ombryvoice"
QString ownName();     // "Ombry Voice"

// The application of the active window; none when nothing says which it is.
std::optional<RunningApp> current();

// The application that owns `window`.
std::optional<RunningApp> forWindow(unsigned long window);

// The application of a Wayland window, by its app_id as a desktop-file id.
RunningApp forAppId(const QString &appId, quint64 toplevel = 0);

// The application of a process that the accessibility bus names `name`: by the
// desktop file it was launched from, else its executable or that name.
RunningApp forProcess(qint64 pid, const QString &name);

// Asks the window manager or the compositor to bring the application's window
// to the front. False when the window is gone or nothing can activate it.
bool activate(const RunningApp &app);

// A point on the screen that the application's window is on (its centre for an
// X11 window, the screen's corner for a Wayland one); none when unknown.
std::optional<QPoint> screenPoint(const RunningApp &app);

// The desktop entry that describes a window, by the rules of the desktop-file
// index: an explicit application id, then StartupWMClass, then the entry named
// after WM_CLASS. Exposed for tests.
struct DesktopEntry
{
    QString id;
    QString name;
    QString icon;
};
std::optional<DesktopEntry> resolveDesktopEntry(const QString &explicitId, const QString &wmInstance,
                                                const QString &wmClass);
// Forgets the index so that the next lookup reads the desktop files again.
void reloadDesktopIndex();

} // namespace FrontmostApp
