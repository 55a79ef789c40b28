#include "platform/FrontmostApp.h"

#include "platform/Accessibility.h"
#include "platform/SessionRoutes.h"
#include "platform/WaylandToplevels.h"
#include "platform/X11Display.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace FrontmostApp {
namespace {

struct IndexEntry
{
    QString id;
    QString name;
    QString icon;
    QString startupWMClass;
};

QMutex gIndexLock;
std::optional<QList<IndexEntry>> gIndex;
QElapsedTimer gIndexAge;

IndexEntry parseDesktopFile(const QString &path, const QString &id, bool *hidden)
{
    IndexEntry entry;
    entry.id = id;
    *hidden = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    QString name, nameFr;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Name"))
            name = value;
        else if (key == QLatin1String("Name[fr]") || (key == QLatin1String("Name[fr_FR]") && nameFr.isEmpty()))
            nameFr = value;
        else if (key == QLatin1String("Icon"))
            entry.icon = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.startupWMClass = value;
        else if (key == QLatin1String("Hidden"))
            *hidden = value == QLatin1String("true");
    }
    entry.name = nameFr.isEmpty() ? name : nameFr;
    return entry;
}

QList<IndexEntry> buildIndex()
{
    QList<IndexEntry> entries;
    QSet<QString> seen; // the first folder that holds an id wins
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = QDir(dir).relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            bool hidden = false;
            IndexEntry entry = parseDesktopFile(path, id, &hidden);
            if (!hidden)
                entries.append(entry);
        }
    }
    return entries;
}

DesktopEntry toEntry(const IndexEntry &e)
{
    return {e.id, e.name, e.icon};
}

QByteArray property(Display *dpy, Window window, const char *name, Atom type, int *format = nullptr)
{
    const Atom atom = XInternAtom(dpy, name, False);
    Atom actualType = 0;
    int actualFormat = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, window, atom, 0, 1024, False, type, &actualType, &actualFormat, &count, &after, &data)
            != Success
        || !data) {
        X11::takeLastError();
        return {};
    }
    QByteArray out;
    if (actualType != None) {
        const int unit = actualFormat == 32 ? int(sizeof(long)) : actualFormat / 8;
        out = QByteArray(reinterpret_cast<const char *>(data), int(count) * unit);
    }
    if (format)
        *format = actualFormat;
    XFree(data);
    return out;
}

} // namespace

QString ownBundleId()
{
    return QStringLiteral("com.corvanel.ombryvoice");
}

QString ownName()
{
    return QStringLiteral("Ombry Voice");
}

void reloadDesktopIndex()
{
    QMutexLocker lock(&gIndexLock);
    gIndex.reset();
}

namespace {

std::optional<DesktopEntry> lookUp(const QList<IndexEntry> &index, const QString &explicitId,
                                   const QString &wmInstance, const QString &wmClass)
{
    if (!explicitId.isEmpty()) {
        QString id = explicitId;
        if (id.endsWith(QLatin1String(".desktop")))
            id.chop(8);
        for (const IndexEntry &e : index)
            if (e.id == id)
                return toEntry(e);
    }
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
        for (const IndexEntry &e : index)
            if (!e.startupWMClass.isEmpty()
                && ((!wmClass.isEmpty() && e.startupWMClass.compare(wmClass, cs) == 0)
                    || (!wmInstance.isEmpty() && e.startupWMClass.compare(wmInstance, cs) == 0)))
                return toEntry(e);
    const auto named = [&](const QString &id, const QString &wm) {
        if (wm.isEmpty())
            return false;
        return id.compare(wm, Qt::CaseInsensitive) == 0
               || id.section(QLatin1Char('.'), -1).compare(wm, Qt::CaseInsensitive) == 0;
    };
    for (const QString &wm : {wmClass, wmInstance})
        for (const IndexEntry &e : index)
            if (named(e.id, wm))
                return toEntry(e);
    return std::nullopt;
}

} // namespace

std::optional<DesktopEntry> resolveDesktopEntry(const QString &explicitId, const QString &wmInstance,
                                                const QString &wmClass)
{
    QMutexLocker lock(&gIndexLock);
    if (!gIndex) {
        gIndex = buildIndex();
        gIndexAge.start();
    }
    if (auto found = lookUp(*gIndex, explicitId, wmInstance, wmClass))
        return found;
    // An application installed since the index was read: read it again, at most
    // once a minute.
    if (gIndexAge.elapsed() < 60000)
        return std::nullopt;
    gIndex = buildIndex();
    gIndexAge.start();
    return lookUp(*gIndex, explicitId, wmInstance, wmClass);
}

std::optional<RunningApp> forWindow(unsigned long window)
{
    Display *dpy = X11::display();
    if (!dpy || !window)
        return std::nullopt;
    RunningApp app;
    app.window = window;

    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(dpy, window, &hint)) {
        app.wmInstance = QString::fromLocal8Bit(hint.res_name);
        app.wmClass = QString::fromLocal8Bit(hint.res_class);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    X11::takeLastError();
    const QByteArray pid = property(dpy, window, "_NET_WM_PID", XA_CARDINAL);
    if (pid.size() >= int(sizeof(long)))
        app.pid = *reinterpret_cast<const long *>(pid.constData());

    if (app.pid == QCoreApplication::applicationPid()) {
        app.name = ownName();
        app.bundleId = ownBundleId();
        return app;
    }
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    QString explicitId = QString::fromUtf8(property(dpy, window, "_GTK_APPLICATION_ID", utf8));
    if (explicitId.isEmpty())
        explicitId = QString::fromUtf8(property(dpy, window, "_KDE_NET_WM_DESKTOP_FILE", utf8));
    explicitId = explicitId.trimmed().remove(QChar(0));

    if (const auto entry = resolveDesktopEntry(explicitId, app.wmInstance, app.wmClass)) {
        app.bundleId = entry->id;
        app.name = entry->name.isEmpty() ? app.wmClass : entry->name;
        app.iconName = entry->icon;
    } else {
        if (!app.wmClass.isEmpty())
            app.bundleId = app.wmClass;
        app.name = app.wmClass;
    }
    if (app.name.isEmpty() && !app.bundleId && app.pid == 0)
        return std::nullopt;
    return app;
}

namespace {

std::optional<RunningApp> activeX11Window()
{
    Display *dpy = X11::display();
    if (!dpy)
        return std::nullopt;
    const QByteArray active = property(dpy, DefaultRootWindow(dpy), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (active.size() < int(sizeof(long)))
        return std::nullopt;
    const Window window = *reinterpret_cast<const unsigned long *>(active.constData());
    if (!window)
        return std::nullopt;
    return forWindow(window);
}

// Compositors list an Xwayland window under its WM_CLASS class.
bool sameWindow(const RunningApp &x11, const WaylandToplevels::Toplevel &toplevel)
{
    return !toplevel.appId.isEmpty()
           && (toplevel.appId.compare(x11.wmClass, Qt::CaseInsensitive) == 0
               || toplevel.appId.compare(x11.wmInstance, Qt::CaseInsensitive) == 0);
}

} // namespace

RunningApp forAppId(const QString &appId, quint64 toplevel)
{
    RunningApp app;
    app.toplevel = toplevel;
    // Terminals and the translate list know a Wayland application by its app_id.
    app.wmInstance = appId;
    app.wmClass = appId;
    if (const auto entry = resolveDesktopEntry(appId, appId, appId)) {
        app.bundleId = entry->id;
        app.name = entry->name.isEmpty() ? appId : entry->name;
        app.iconName = entry->icon;
    } else {
        if (!appId.isEmpty())
            app.bundleId = appId;
        app.name = appId;
    }
    return app;
}

RunningApp forProcess(qint64 pid, const QString &name)
{
    RunningApp app;
    app.pid = pid;
    if (pid == QCoreApplication::applicationPid()) {
        app.name = ownName();
        app.bundleId = ownBundleId();
        return app;
    }
    const QString proc = QStringLiteral("/proc/") + QString::number(pid);
    // Desktops launch applications with the entry's path in the environment
    // (readable for the user's own processes).
    QString launched;
    QFile variables(proc + QStringLiteral("/environ"));
    if (variables.open(QIODevice::ReadOnly)) {
        for (const QByteArray &entry : variables.readAll().split('\0'))
            if (entry.startsWith("GIO_LAUNCHED_DESKTOP_FILE=")) {
                launched = QFileInfo(QString::fromLocal8Bit(entry.mid(26))).completeBaseName();
                break;
            }
    }
    const QString executable = QFileInfo(QFile::symLinkTarget(proc + QStringLiteral("/exe"))).fileName();
    // Terminals are known by their executable.
    app.wmInstance = executable;
    app.wmClass = executable.isEmpty() ? name : executable;
    if (const auto entry = resolveDesktopEntry(launched, executable, name)) {
        app.bundleId = entry->id;
        app.name = entry->name.isEmpty() ? name : entry->name;
        app.iconName = entry->icon;
    } else {
        app.name = name.isEmpty() ? executable : name;
        if (!app.wmClass.isEmpty())
            app.bundleId = app.wmClass;
    }
    return app;
}

std::optional<RunningApp> current()
{
    std::optional<RunningApp> x11 = activeX11Window();
    const SessionRoutes::Front route = SessionRoutes::current().front;
    if (route == SessionRoutes::Front::X11)
        return x11;
    if (route == SessionRoutes::Front::Accessibility) {
        // The compositor lists no windows: an Xwayland window in front is named
        // by X11, a Wayland one by the accessibility bus.
        if (x11)
            return x11;
        Accessibility::followActiveWindow();
        const std::optional<Accessibility::ActiveApplication> active = Accessibility::activeApplication();
        if (!active)
            return std::nullopt;
        return forProcess(active->pid, active->name);
    }
    // The compositor knows which window is active, Wayland or not; an Xwayland
    // window is named by X11, which gives its pid and class too.
    const std::optional<WaylandToplevels::Toplevel> toplevel = WaylandToplevels::active();
    if (!toplevel)
        return x11;
    if (x11 && sameWindow(*x11, *toplevel)) {
        x11->toplevel = toplevel->id;
        return x11;
    }
    if (toplevel->appId.isEmpty())
        return std::nullopt;
    return forAppId(toplevel->appId, toplevel->id);
}

std::optional<QPoint> screenPoint(const RunningApp &app)
{
    if (app.toplevel)
        if (const auto toplevel = WaylandToplevels::find(app.toplevel); toplevel && toplevel->screen)
            return toplevel->screen;
    Display *dpy = X11::display();
    if (!dpy || !app.window)
        return std::nullopt;
    XWindowAttributes attributes;
    Window child = 0;
    int x = 0, y = 0;
    if (!XGetWindowAttributes(dpy, app.window, &attributes)
        || !XTranslateCoordinates(dpy, app.window, DefaultRootWindow(dpy), attributes.width / 2,
                                  attributes.height / 2, &x, &y, &child)) {
        X11::takeLastError();
        return std::nullopt;
    }
    return QPoint(x, y);
}

bool activate(const RunningApp &app)
{
    if (app.toplevel && WaylandToplevels::activate(app.toplevel))
        return true;
    Display *dpy = X11::display();
    if (!dpy || !app.window)
        return false;
    XWindowAttributes attributes;
    X11::takeLastError();
    if (!XGetWindowAttributes(dpy, app.window, &attributes)) {
        X11::takeLastError();
        return false;
    }
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = app.window;
    ev.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 2; // from a pager-like tool: window managers obey it
    ev.xclient.data.l[1] = long(X11::serverTime()); // without a time, focus-stealing prevention may refuse
    ev.xclient.data.l[2] = 0;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy);
    return true;
}

} // namespace FrontmostApp
