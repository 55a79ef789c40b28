#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>

#include <optional>

class QWindow;

// Floating panels (the recording overlay, the result bubble, the caption bar):
// frameless windows above the others, on every desktop, that never take the
// keyboard focus, optionally letting every click through. They bypass the
// window manager (override-redirect): a managed window gets a frame from
// openbox that swallows the clicks meant to pass through it, while an
// unmanaged one is never focused, moved or put on a single desktop, and stays
// above the windows that the manager raises. Without a compositor a
// translucent window would show a black rectangle, so the panel is shaped to
// its outline instead.
namespace FloatingPanel {

enum class Input { Takes, ClickThrough };

// Sets the flags and title; call before the window is first shown.
void configure(QWindow *window, const QString &title, Input input);

// Maps the window at `topLeft` (global, X11's downward y) without activating
// anything, raised above the others.
void show(QWindow *window, QPoint topLeft);
// Unmaps it.
void hide(QWindow *window);

// Limits what the window shows to `outline` (window coordinates) when no
// compositor runs; an empty region shows the whole window.
void setOutline(QWindow *window, const QRegion &outline);

// A rounded rectangle as a region (a capsule when radius is half the height).
QRegion roundedRegion(const QRect &box, int radius);

// Whether a compositing manager runs on the screen (translucency works).
bool compositing();

// The available area (without panels and docks) of the screen under `point`;
// the primary screen's when the point lies between screens.
QRect availableAreaAt(QPoint point);

// A screen as the recording overlay's placement sees it.
struct Screen
{
    QRect geometry;
    QRect available;
    bool primary = false;
};
QList<Screen> screens();

// Whether X11 knows where the pointer is: in a Wayland session it stops at the
// edge of X11 windows and stays there while the pointer is over a Wayland one.
bool pointerSeen();

// The available area the recording overlay goes to: of the screen under
// `pointer` when X11 sees the pointer; otherwise of the screen that holds
// `front`, a point of the application in front; the primary screen's when the
// point lies on no screen or nothing is known (the first screen's when none is
// primary). Empty without screens.
QRect overlayArea(const QList<Screen> &screens, std::optional<QPoint> pointer, std::optional<QPoint> front);

} // namespace FloatingPanel
