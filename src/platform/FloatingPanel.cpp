#include "platform/FloatingPanel.h"

#include "platform/SessionRoutes.h"
#include "platform/X11Display.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <X11/Xlib.h>


namespace FloatingPanel {

void configure(QWindow *window, const QString &title, Input input)
{
    Qt::WindowFlags flags = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint
                            | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint;
    if (input == Input::ClickThrough)
        flags |= Qt::WindowTransparentForInput;
    window->setFlags(flags);
    window->setTitle(title);
}

void show(QWindow *window, QPoint topLeft)
{
    window->setPosition(topLeft);
    if (!window->isVisible())
        window->show();
    // Mapping raises it; raising again keeps it above what came up meanwhile.
    window->raise();
}

void hide(QWindow *window)
{
    window->hide();
}

void setOutline(QWindow *window, const QRegion &outline)
{
    if (compositing())
        return;
    window->setMask(outline);
}

QRegion roundedRegion(const QRect &box, int radius)
{
    radius = qBound(0, radius, qMin(box.width(), box.height()) / 2);
    if (radius == 0)
        return QRegion(box);
    const int d = 2 * radius;
    QRegion region(box.adjusted(radius, 0, -radius, 0));
    region += QRegion(box.adjusted(0, radius, 0, -radius));
    region += QRegion(QRect(box.left(), box.top(), d, d), QRegion::Ellipse);
    region += QRegion(QRect(box.right() - d + 1, box.top(), d, d), QRegion::Ellipse);
    region += QRegion(QRect(box.left(), box.bottom() - d + 1, d, d), QRegion::Ellipse);
    region += QRegion(QRect(box.right() - d + 1, box.bottom() - d + 1, d, d), QRegion::Ellipse);
    return region;
}

bool compositing()
{
    Display *dpy = X11::display();
    if (!dpy)
        return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(dpy));
    const Atom selection = XInternAtom(dpy, name.constData(), False);
    return XGetSelectionOwner(dpy, selection) != None;
}

QRect availableAreaAt(QPoint point)
{
    QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QList<Screen> screens()
{
    QList<Screen> list;
    const QScreen *primary = QGuiApplication::primaryScreen();
    for (const QScreen *screen : QGuiApplication::screens())
        list.append({screen->geometry(), screen->availableGeometry(), screen == primary});
    return list;
}

bool pointerSeen()
{
    return SessionRoutes::current().front == SessionRoutes::Front::X11;
}

QRect overlayArea(const QList<Screen> &screens, std::optional<QPoint> pointer, std::optional<QPoint> front)
{
    if (screens.isEmpty())
        return {};
    const std::optional<QPoint> point = pointer ? pointer : front;
    if (point)
        for (const Screen &screen : screens)
            if (screen.geometry.contains(*point))
                return screen.available;
    for (const Screen &screen : screens)
        if (screen.primary)
            return screen.available;
    return screens.first().available;
}

} // namespace FloatingPanel
