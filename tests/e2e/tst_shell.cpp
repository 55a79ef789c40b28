#include "shell/SingleInstance.h"
#include "support/TestEnv.h"

#include <QDBusConnection>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QUuid>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atspi/atspi.h>

#include <csignal>
#include <functional>
#include <optional>

// The program as a desktop application on the private desktop: start-up order,
// launch at login, one running copy per session, the tray icon and its menu.
namespace {

void stop(QProcess &process);

// A copy of the program; it is stopped, as the user would quit it, when it goes.
struct Stopper
{
    void operator()(QProcess *process) const
    {
        stop(*process);
        delete process;
    }
};
using Process = std::unique_ptr<QProcess, Stopper>;

QString dataFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Ombry Voice");
}

QString logPath()
{
    return dataFolder() + QStringLiteral("/journal.log");
}

QString journal()
{
    return QString::fromUtf8(TestEnv::readFile(logPath()));
}

QString autostartPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/ombry-voice.desktop");
}

Process start(const QStringList &arguments = {}, QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    Process process(new QProcess);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(OMBRY_BINARY), arguments);
    process->waitForStarted(5000);
    return process;
}

// The count of "ordinateur: " lines reaches `count`: start-up went through.
bool startedUp(int count = 1, int timeoutMs = 15000)
{
    return TestEnv::waitFor([count] { return journal().count(QStringLiteral(" ordinateur: ")) >= count; }, timeoutMs);
}

// Starts the program and waits until its start-up went through (the `count`th in
// this home); null, the copy stopped, when it did not.
Process startedApp(int count = 1, QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    Process process = start({}, std::move(env));
    if (!startedUp(count))
        process.reset();
    return process;
}

bool finished(QProcess &process, int timeoutMs)
{
    return TestEnv::waitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!finished(process, 10000))
        process.kill();
    process.waitForFinished(2000);
}

// X11: where windows of a process stand.
struct X
{
    Display *display = XOpenDisplay(nullptr);
    ~X()
    {
        if (display)
            XCloseDisplay(display);
    }

    // The one 32-bit item of a window property of `type`.
    std::optional<unsigned long> property(Window window, const char *name, Atom type)
    {
        Atom actual;
        int format;
        unsigned long count, after;
        unsigned char *data = nullptr;
        std::optional<unsigned long> value;
        if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, type, &actual, &format,
                               &count, &after, &data)
                == Success
            && data && count == 1)
            value = *reinterpret_cast<unsigned long *>(data);
        if (data)
            XFree(data);
        return value;
    }

    std::optional<qint64> pidOf(Window window)
    {
        const std::optional<unsigned long> pid = property(window, "_NET_WM_PID", XA_CARDINAL);
        return pid ? std::optional<qint64>(qint64(*pid)) : std::nullopt;
    }

    QList<Window> children(Window window)
    {
        Window root, parent, *list = nullptr;
        unsigned int n = 0;
        QList<Window> out;
        if (XQueryTree(display, window, &root, &parent, &list, &n)) {
            for (unsigned int i = 0; i < n; ++i)
                out << list[i];
            if (list)
                XFree(list);
        }
        return out;
    }

    Window parentOf(Window window)
    {
        Window root, parent, *list = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(display, window, &root, &parent, &list, &n))
            return 0;
        if (list)
            XFree(list);
        return parent;
    }

    // The first window of `pid`, breadth first from the root, that `match` takes; 0 for none.
    Window windowOf(qint64 pid, const std::function<bool(Window)> &match)
    {
        const Window root = DefaultRootWindow(display);
        QList<Window> queue{root};
        while (!queue.isEmpty()) {
            const Window w = queue.takeFirst();
            queue << children(w);
            if (w != root && pidOf(w) == pid && match(w))
                return w;
        }
        return 0;
    }

    // Where `window` stands on the screen.
    QRect onScreen(Window window)
    {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, window, &attributes);
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

    // A window of `app` that stands inside a window of `host`: an embedded tray icon.
    std::optional<QRect> embedded(qint64 app, qint64 host)
    {
        const Window root = DefaultRootWindow(display);
        const Window icon = windowOf(app, [&](Window w) {
            for (Window up = parentOf(w); up && up != root; up = parentOf(up))
                if (pidOf(up) == host)
                    return true;
            return false;
        });
        return icon ? std::optional<QRect>(onScreen(icon)) : std::nullopt;
    }

    // The process whose window is active.
    std::optional<qint64> activePid()
    {
        const std::optional<unsigned long> window = property(DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        return window && *window ? pidOf(Window(*window)) : std::nullopt;
    }

    // Whether `pid` shows a window at least as large as the main window's minimum.
    bool mainWindowShown(qint64 pid)
    {
        return windowOf(pid, [&](Window w) {
            XWindowAttributes attributes;
            return XGetWindowAttributes(display, w, &attributes) && attributes.map_state == IsViewable
                   && attributes.width >= 900 && attributes.height >= 600;
        }) != 0;
    }

    // The rectangle of a top-level window of `pid` named `title`.
    std::optional<QRect> windowNamed(qint64 pid, const QString &title)
    {
        const Window found = windowOf(pid, [&](Window w) {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char *name = nullptr;
            XGetWindowProperty(display, w, XInternAtom(display, "_NET_WM_NAME", False), 0, 256, False,
                               XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after, &name);
            const bool match = name && QString::fromUtf8(reinterpret_cast<char *>(name), int(count)) == title;
            if (name)
                XFree(name);
            XWindowAttributes attributes;
            return match && XGetWindowAttributes(display, w, &attributes) && attributes.map_state == IsViewable;
        });
        return found ? std::optional<QRect>(onScreen(found)) : std::nullopt;
    }

    bool trayOwned()
    {
        const Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
        return XGetSelectionOwner(display, selection) != None;
    }
};

// AT-SPI: the accessible tree of a process, as a screen reader reads it.
struct Node
{
    QString name;
    AtspiRole role;
    AtspiAccessible *object;
};

class Atspi
{
public:
    Atspi()
    {
        ok_ = atspi_init() <= 1;
        if (!ok_)
            return;
        // Popup menus are not children of their application: a screen reader
        // meets them through the focus that moves into them.
        listener_ = atspi_event_listener_new(
            [](AtspiEvent *event, void *self) {
                if (event->detail1 && event->source) {
                    auto *atspi = static_cast<Atspi *>(self);
                    if (atspi->focused_)
                        g_object_unref(atspi->focused_);
                    atspi->focused_ = ATSPI_ACCESSIBLE(g_object_ref(event->source));
                }
                g_boxed_free(ATSPI_TYPE_EVENT, event);
            },
            this, nullptr);
        atspi_event_listener_register(listener_, "object:state-changed:focused", nullptr);
    }

    ~Atspi()
    {
        if (listener_) {
            atspi_event_listener_deregister(listener_, "object:state-changed:focused", nullptr);
            g_object_unref(listener_);
        }
        if (focused_)
            g_object_unref(focused_);
    }

    void forgetFocus()
    {
        if (focused_)
            g_object_unref(focused_);
        focused_ = nullptr;
    }

    QString focusText() const
    {
        if (!focused_)
            return QStringLiteral("(rien)");
        gchar *name = atspi_accessible_get_name(focused_, nullptr);
        gchar *role = atspi_accessible_get_role_name(focused_, nullptr);
        const QString text = QString::fromUtf8(role ? role : "") + QStringLiteral(": ") + QString::fromUtf8(name ? name : "");
        g_free(name);
        g_free(role);
        return text;
    }

    // The menu that holds the focused item.
    AtspiAccessible *focusedMenu()
    {
        if (!focused_ || atspi_accessible_get_role(focused_, nullptr) != ATSPI_ROLE_MENU_ITEM)
            return nullptr;
        return atspi_accessible_get_parent(focused_, nullptr);
    }

    bool ok() const { return ok_; }

    AtspiAccessible *application(qint64 pid)
    {
        AtspiAccessible *desktop = atspi_get_desktop(0);
        const int n = atspi_accessible_get_child_count(desktop, nullptr);
        for (int i = 0; i < n; ++i) {
            AtspiAccessible *app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
            if (app && atspi_accessible_get_process_id(app, nullptr) == guint(pid))
                return app;
            if (app)
                g_object_unref(app);
        }
        return nullptr;
    }

    // Every descendant with `role`, depth first.
    QList<Node> find(AtspiAccessible *from, AtspiRole role, int depth = 0)
    {
        QList<Node> out;
        if (!from || depth > 12)
            return out;
        const int n = atspi_accessible_get_child_count(from, nullptr);
        for (int i = 0; i < n; ++i) {
            AtspiAccessible *child = atspi_accessible_get_child_at_index(from, i, nullptr);
            if (!child)
                continue;
            const AtspiRole r = atspi_accessible_get_role(child, nullptr);
            if (r == role) {
                gchar *name = atspi_accessible_get_name(child, nullptr);
                out << Node{QString::fromUtf8(name ? name : ""), r, child};
                g_free(name);
            }
            out << find(child, role, depth + 1);
        }
        return out;
    }

    static bool press(AtspiAccessible *object)
    {
        AtspiAction *action = atspi_accessible_get_action_iface(object);
        if (!action)
            return false;
        const bool done = atspi_action_do_action(action, 0, nullptr);
        g_object_unref(action);
        return done;
    }

private:
    bool ok_ = false;
    AtspiEventListener *listener_ = nullptr;
    AtspiAccessible *focused_ = nullptr;
};

bool keys(const QStringList &tokens)
{
    QProcess p;
    p.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/xkeys"), tokens);
    if (!p.waitForStarted(5000))
        return false;
    return TestEnv::waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000) && p.exitCode() == 0;
}

bool hasState(AtspiAccessible *object, AtspiStateType state)
{
    AtspiStateSet *set = atspi_accessible_get_state_set(object);
    const bool on = set && atspi_state_set_contains(set, state);
    if (set)
        g_object_unref(set);
    return on;
}

QStringList names(const QList<Node> &nodes)
{
    QStringList out;
    for (const Node &node : nodes)
        out << node.name;
    return out;
}

void writeHistory(const QString &text)
{
    QJsonObject d{{QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                  {QStringLiteral("date"), QStringLiteral("2026-01-02T10:00:00Z")},
                  {QStringLiteral("appName"), QStringLiteral("Éditeur")},
                  {QStringLiteral("finalText"), text},
                  {QStringLiteral("rawText"), text},
                  {QStringLiteral("duration"), 3.0}};
    QVERIFY(TestEnv::writeFile(dataFolder() + QStringLiteral("/history.json"),
                               QJsonDocument(QJsonArray{d}).toJson()));
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

    // The context click on the icon opens the menu; its items are read once the
    // focus moves into it. Tried again when a click went astray.
    // `where` is asked at each attempt: the tray moves its icons as it grows.
    static bool openMenu(Atspi &atspi, const std::function<std::optional<QRect>()> &where, const QString &wanted,
                         QList<Node> &items)
    {
        for (int attempt = 0; attempt < 4; ++attempt) {
            for (int i = 0; i < 2; ++i)
                QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
            QTest::qWait(200);
            atspi.forgetFocus();
            const std::optional<QRect> icon = where();
            if (!icon)
                continue;
            QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("mousemove"), QString::number(icon->center().x()),
                               QString::number(icon->center().y()), QStringLiteral("click"), QStringLiteral("3")});
            const bool found = TestEnv::waitFor([&] {
                QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Down")});
                AtspiAccessible *menu = atspi.focusedMenu();
                items = menu ? atspi.find(menu, ATSPI_ROLE_MENU_ITEM) : QList<Node>();
                return names(items).contains(wanted);
            }, 5000); // a loaded machine can take seconds to map the menu
            if (found)
                return true;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session"); }

    void startupOrderAndLaunchAtLogin()
    {
        ScopedHome home;
        {
            Process app = startedApp();
            QVERIFY2(app, qPrintable(journal()));
            const QString log = journal();
            const qsizetype micro = log.indexOf(QStringLiteral(" démarrage: micro="));
            const qsizetype login = log.indexOf(QStringLiteral(" démarrage auto: true"));
            const qsizetype mac = log.indexOf(QStringLiteral(" ordinateur: "));
            QVERIFY2(micro >= 0 && micro < login && login < mac, qPrintable(log));
            stop(*app);
            QCOMPARE(app->exitCode(), 0);
        }
        // The entry starts this very program and passes the validator.
        const QByteArray entry = TestEnv::readFile(autostartPath());
        QVERIFY2(entry.contains("\nExec=" OMBRY_BINARY "\n"), entry.constData());
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validator.isEmpty()) {
            QProcess validate;
            validate.start(validator, {autostartPath()});
            QVERIFY(validate.waitForFinished(10000));
            QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
        }
        // Later starts leave it alone, also once the user removed it.
        QVERIFY(QFile::remove(autostartPath()));
        {
            Process app = startedApp(2);
            QVERIFY(app);
            stop(*app);
        }
        QCOMPARE(journal().count(QStringLiteral(" démarrage auto: ")), 1);
        QVERIFY(!QFile::exists(autostartPath()));
    }

    void secondLaunchHandsOver()
    {
        ScopedHome home;
        Process first = startedApp();
        QVERIFY(first);
        QElapsedTimer clock;
        clock.start();
        Process second = start();
        QVERIFY(finished(*second, 2000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        // The second copy set nothing up.
        QCOMPARE(journal().count(QStringLiteral(" ordinateur: ")), 1);
        QCOMPARE(first->state(), QProcess::Running);
        stop(*first);
        QCOMPARE(first->exitCode(), 0);
    }

    // Ctrl+W closes the window; a second launch brings it back, active.
    void secondLaunchShowsTheWindow()
    {
        ScopedHome home;
        X x;
        Process first = startedApp();
        QVERIFY(first);
        QVERIFY(TestEnv::waitFor([&] { return x.mainWindowShown(first->processId()); }, 10000));
        QVERIFY(TestEnv::waitFor([&] { return x.activePid() == first->processId(); }, 5000));
        QVERIFY(keys({QStringLiteral("+Control_L"), QStringLiteral("w"), QStringLiteral("-Control_L")}));
        QVERIFY(TestEnv::waitFor([&] { return !x.mainWindowShown(first->processId()); }, 5000));
        QCOMPARE(first->state(), QProcess::Running);

        Process second = start();
        QVERIFY(finished(*second, 2000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(TestEnv::waitFor([&] { return x.mainWindowShown(first->processId()); }, 5000));
        QVERIFY(TestEnv::waitFor([&] { return x.activePid() == first->processId(); }, 5000));
        stop(*first);
        QCOMPARE(first->exitCode(), 0);
    }

    // A dictation that cannot start for want of a key opens the settings page.
    void missingDeepgramKeyOpensSettings()
    {
        ScopedHome home;
        X x;
        QVERIFY(TestEnv::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME")
                                       + QStringLiteral("/Ombry Voice/com.corvanel.ombryvoice.json"),
                                   R"({"transcriptionEngine": "deepgram", "key": "rightControl", "onboarded": true})"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OMBRY_TEST_ACCEPT_XTEST"), QStringLiteral("1"));
        Process app = startedApp(1, env);
        QVERIFY(app);
        QVERIFY(TestEnv::waitFor([&] { return journal().contains(QStringLiteral("hotkey: event tap actif")); }));
        QVERIFY(TestEnv::waitFor([&] { return x.activePid() == app->processId(); }, 10000));
        QVERIFY(keys({QStringLiteral("+Control_L"), QStringLiteral("w"), QStringLiteral("-Control_L")}));
        QVERIFY(TestEnv::waitFor([&] { return !x.mainWindowShown(app->processId()); }, 5000));

        QVERIFY(keys({QStringLiteral("+Control_R"), QStringLiteral("@900"), QStringLiteral("-Control_R")}));
        QVERIFY2(TestEnv::waitFor([&] { return journal().contains(QStringLiteral("erreur: Clé Deepgram absente")); }),
                 qPrintable(journal()));
        QVERIFY(TestEnv::waitFor([&] { return x.mainWindowShown(app->processId()); }, 5000));
        Atspi atspi;
        QVERIFY(atspi.ok());
        bool onSettings = false;
        QVERIFY(TestEnv::waitFor([&] {
            AtspiAccessible *application = atspi.application(app->processId());
            for (const Node &tab : application ? atspi.find(application, ATSPI_ROLE_PAGE_TAB) : QList<Node>()) {
                if (tab.name == QStringLiteral("Réglages"))
                    onSettings = hasState(tab.object, ATSPI_STATE_CHECKED) || hasState(tab.object, ATSPI_STATE_SELECTED);
            }
            return onSettings;
        }, 5000));
        stop(*app);
        QCOMPARE(app->exitStatus(), QProcess::NormalExit);
    }

    void aboutFromTheMenuBar_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::newRow("light") << QStringLiteral("light");
        QTest::newRow("dark") << QStringLiteral("dark");
    }

    void aboutFromTheMenuBar()
    {
        QFETCH(QString, theme);
        ScopedHome home;
        X x;
        QVERIFY(TestEnv::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME")
                                       + QStringLiteral("/Ombry Voice/com.corvanel.ombryvoice.json"),
                                   QStringLiteral(R"({"theme": "%1", "onboarded": true})").arg(theme).toUtf8()));
        Process app = startedApp();
        QVERIFY(app);
        QVERIFY(TestEnv::waitFor([&] { return x.mainWindowShown(app->processId()); }, 10000));
        Atspi atspi;
        QVERIFY(atspi.ok());
        // A click where the screen reader says the item is.
        auto clickItem = [&](const QString &name, AtspiRole role) {
            return TestEnv::waitFor([&] {
                AtspiAccessible *application = atspi.application(app->processId());
                for (const Node &item : application ? atspi.find(application, role) : QList<Node>()) {
                    if (item.name != name)
                        continue;
                    AtspiComponent *component = atspi_accessible_get_component_iface(item.object);
                    AtspiRect *rect =
                        component ? atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr) : nullptr;
                    if (component)
                        g_object_unref(component);
                    if (!rect)
                        return false;
                    const QPoint centre(rect->x + rect->width / 2, rect->y + rect->height / 2);
                    g_free(rect);
                    return QProcess::execute(QStringLiteral("xdotool"),
                                             {QStringLiteral("mousemove"), QString::number(centre.x()),
                                              QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")})
                           == 0;
                }
                return false;
            }, 5000);
        };
        QVERIFY(clickItem(QStringLiteral("Aide"), ATSPI_ROLE_PUSH_BUTTON));
        QVERIFY(clickItem(QStringLiteral("À propos d'Ombry Voice"), ATSPI_ROLE_MENU_ITEM));
        std::optional<QRect> about;
        QVERIFY(TestEnv::waitFor([&] {
            return (about = x.windowNamed(app->processId(), QStringLiteral("À propos d'Ombry Voice"))).has_value();
        }, 5000));
        QStringList texts;
        QVERIFY2(TestEnv::waitFor([&] {
            AtspiAccessible *application = atspi.application(app->processId());
            texts = names(application ? atspi.find(application, ATSPI_ROLE_LABEL) : QList<Node>());
            return texts.contains(QStringLiteral("Version " OMBRY_VERSION));
        }, 5000), qPrintable(texts.join(QStringLiteral(" | "))));
        QVERIFY(texts.contains(QStringLiteral("Ombry Voice")));
        QTest::qWait(300);
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, about->x(), about->y(), about->width(),
                                                                          about->height()).toImage();
        const QString folder = QStringLiteral(OMBRY_TEST_BIN_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(shot.save(folder + QStringLiteral("/about-") + theme + QStringLiteral(".png")));
        // The icon's accent shows in the dialog.
        bool accent = false;
        for (int y = 0; y < shot.height() && !accent; y += 2)
            for (int xx = 0; xx < shot.width() && !accent; xx += 2) {
                const QColor c = shot.pixelColor(xx, y);
                accent = std::abs(c.red() - 0) < 20 && std::abs(c.green() - 184) < 20 && std::abs(c.blue() - 169) < 20;
            }
        QVERIFY(accent);
        // The main window with its menu bar, for a look.
        if (const auto main = x.windowNamed(app->processId(), QStringLiteral("Ombry Voice")))
            QGuiApplication::primaryScreen()->grabWindow(0, main->x(), main->y(), main->width(), main->height())
                .save(folder + QStringLiteral("/window-") + theme + QStringLiteral(".png"));
        stop(*app);
        QCOMPARE(app->exitStatus(), QProcess::NormalExit);
    }

    void simultaneousStartsLeaveOne_data()
    {
        QTest::addColumn<int>("copies");
        QTest::newRow("two") << 2;
        QTest::newRow("four") << 4;
    }

    void simultaneousStartsLeaveOne()
    {
        QFETCH(int, copies);
        ScopedHome home;
        std::vector<Process> apps;
        for (int i = 0; i < copies; ++i) {
            Process process(new QProcess);
            process->setProcessEnvironment(QProcessEnvironment::systemEnvironment());
            process->start(QStringLiteral(OMBRY_BINARY), {});
            apps.push_back(std::move(process));
        }
        auto running = [&apps] {
            return int(std::count_if(apps.begin(), apps.end(),
                                     [](const Process &p) { return p->state() != QProcess::NotRunning; }));
        };
        QVERIFY(TestEnv::waitFor([&] { return running() == 1; }, 10000));
        QVERIFY(startedUp());
        QTest::qWait(500);
        QCOMPARE(running(), 1);
        QCOMPARE(journal().count(QStringLiteral(" ordinateur: ")), 1);
        for (Process &p : apps) {
            if (p->state() == QProcess::NotRunning)
                QCOMPARE(p->exitCode(), 0);
            stop(*p);
        }
    }

    // Another program holding the bus name is not a running copy: the launch says
    // so and stops, instead of claiming that a window was shown.
    void nameHeldByAnotherProgram()
    {
        ScopedHome home;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerService(QString::fromLatin1(SingleInstance::kServiceName)));
        const auto release = qScopeGuard([&bus] { bus.unregisterService(QString::fromLatin1(SingleInstance::kServiceName)); });
        Process launch = start();
        QVERIFY(finished(*launch, 10000));
        QCOMPARE(launch->exitCode(), 1);
        QCOMPARE(journal().count(QStringLiteral(" ordinateur: ")), 0);
    }

    // A copy that died without cleaning up leaves nothing that blocks the next.
    void killedCopyDoesNotBlock()
    {
        ScopedHome home;
        Process first = startedApp();
        QVERIFY(first);
        first->kill();
        QVERIFY(first->waitForFinished(5000));
        Process second = startedApp(2);
        QVERIFY(second);
        QCOMPARE(second->state(), QProcess::Running);
        stop(*second);
    }

    void withoutSessionBusItRuns()
    {
        ScopedHome home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/ombry-bus"));
        Process app = startedApp(1, env);
        QVERIFY(app);
        QCOMPARE(app->state(), QProcess::Running);
        stop(*app);
        QCOMPARE(app->exitCode(), 0);
    }

    void diagnosticsBesideARunningCopy()
    {
        ScopedHome home;
        Process app = startedApp();
        QVERIFY(app);
        const QString out = home.path() + QStringLiteral("/icones");
        Process icon = start({QStringLiteral("--icon"), out});
        QVERIFY(finished(*icon, 30000));
        QCOMPARE(icon->exitCode(), 0);
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 10);
        QCOMPARE(app->state(), QProcess::Running);
        stop(*app);
    }

    void trayIconAndMenu()
    {
        ScopedHome home;
        X x;
        QVERIFY(x.display);
        QProcess trayer;
        trayer.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                                QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                                                QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--SetDockType"),
                                                QStringLiteral("true")});
        QVERIFY(trayer.waitForStarted(5000));
        auto stopTrayer = qScopeGuard([&trayer] {
            trayer.terminate();
            if (!trayer.waitForFinished(3000))
                trayer.kill();
        });
        QVERIFY(TestEnv::waitFor([&] { return x.trayOwned(); }, 5000));

        const QString longText = QStringLiteral("Bonjour à toutes et à tous, voici une dictée bien plus longue que soixante caractères.");
        writeHistory(longText);
        Process app = start();
        QElapsedTimer clock;
        clock.start();
        std::optional<QRect> icon;
        QVERIFY(TestEnv::waitFor([&] { return (icon = x.embedded(app->processId(), trayer.processId())).has_value(); }, 3000));
        qInfo("icône dans la zone de notification après %lld ms", clock.elapsed());
        QVERIFY(startedUp());

        Atspi atspi;
        QVERIFY(atspi.ok());
        QList<Node> items;
        const auto where = [&] { return x.embedded(app->processId(), trayer.processId()); };
        QVERIFY2(openMenu(atspi, where, QStringLiteral("Quitter Ombry Voice"), items),
                 qPrintable(atspi.focusText() + QStringLiteral(" / ") + names(items).join(QStringLiteral(" | "))));
        const QStringList shown = names(items);
        const QString excerpt = longText.left(60) + QStringLiteral("…");
        const QStringList expectedOrder = {
            QStringLiteral("Dernière dictée"), excerpt, QStringLiteral("Ouvrir Ombry Voice"),
            QStringLiteral("Sous-titres d'appel en français"), QStringLiteral("Démarrer une réunion"),
            QStringLiteral("Corriger la sélection"), QStringLiteral("Lire la sélection (Ctrl+Alt+R)"),
            QStringLiteral("Langue : Français"), QStringLiteral("Anglais"), QStringLiteral("Micro"),
            QStringLiteral("Micro du système"), QStringLiteral("Touche : Ctrl droit"),
            QStringLiteral("Réglages…"), QStringLiteral("Quitter Ombry Voice")};
        qsizetype at = -1;
        for (const QString &name : expectedOrder) {
            const qsizetype next = shown.indexOf(name, at + 1);
            QVERIFY2(next > at, qPrintable(name + QStringLiteral(" dans ") + shown.join(QStringLiteral(" | "))));
            at = next;
        }

        // Choosing "Anglais" stores the language.
        const QString prefs = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Ombry Voice/com.corvanel.ombryvoice.json");
        for (const Node &item : items) {
            if (item.name == QStringLiteral("Anglais"))
                QVERIFY(Atspi::press(item.object));
        }
        QVERIFY2(TestEnv::waitFor([&] {
            return QJsonDocument::fromJson(TestEnv::readFile(prefs)).object().value(QStringLiteral("language"))
                   == QJsonValue(QStringLiteral("en"));
        }), TestEnv::readFile(prefs).constData());

        // Choosing a key restarts the hotkey monitor.
        const int taps = journal().count(QStringLiteral("hotkey: event tap actif"));
        QVERIFY2(openMenu(atspi, where, QStringLiteral("Langue : Anglais"), items),
                 qPrintable(atspi.focusText() + QStringLiteral(" / ") + names(items).join(QStringLiteral(" | "))));
        for (const Node &item : items) {
            if (item.name == QStringLiteral("Alt droit (AltGr)"))
                QVERIFY(Atspi::press(item.object));
        }
        QVERIFY2(TestEnv::waitFor([&] { return journal().count(QStringLiteral("hotkey: event tap actif")) > taps; }),
                 qPrintable(journal()));

        // Quitting from the menu ends the process normally.
        for (const Node &item : items) {
            if (item.name == QStringLiteral("Quitter Ombry Voice"))
                QVERIFY(Atspi::press(item.object));
        }
        QVERIFY(finished(*app, 10000));
        QCOMPARE(app->exitStatus(), QProcess::NormalExit);
        QCOMPARE(app->exitCode(), 0);
    }
};

OMBRY_TEST_GUI_MAIN(TestShell)
#include "tst_shell.moc"
