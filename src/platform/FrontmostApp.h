#pragma once

#include <QString>

#include <optional>

// A running application as the dictation pipeline sees it: the owner of the
// active window.
struct RunningApp
{
    qint64 pid = 0;                  // 0 when the window does not say
    QString name;                    // the desktop entry's Name[fr] or Name, else the WM_CLASS class
    std::optional<QString> bundleId; // the desktop-file id, else the WM_CLASS class
    QString iconName;                // the desktop entry's Icon (for the icon theme), may be empty
    QString wmInstance;              // WM_CLASS instance and class (terminals are known by them)
    QString wmClass;
    unsigned long window = 0;        // the X window to activate again

    bool operator==(const RunningApp &) const = default;
};

// The frontmost application through EWMH, and this application's own identity.
namespace FrontmostApp {

// This application's identifier and name.
QString ownBundleId(); // "com.corvanel.ombryvoice"
QString ownName();     // "Ombry Voice"

// The application of the active window (_NET_ACTIVE_WINDOW); none without an X
// server, an EWMH window manager or an active window.
std::optional<RunningApp> current();

// The application that owns `window`.
std::optional<RunningApp> forWindow(unsigned long window);

// Asks the window manager to bring the application's window to the front
// (a _NET_ACTIVE_WINDOW request). False when there is no X server or the window
// is gone.
bool activate(const RunningApp &app);

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
