#include "module/Account.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <atspi/atspi.h>

#include <csignal>

using namespace Qt::StringLiterals;
using DesktopTools::run;

namespace {

// One accessible element as a screen reader would read it.
struct Element
{
    AtspiRole role = ATSPI_ROLE_INVALID;
    QString name;
    bool checked = false;
};

struct Unref
{
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
using Ref = std::unique_ptr<AtspiAccessible, Unref>;

QString nameOf(AtspiAccessible *node)
{
    gchar *name = atspi_accessible_get_name(node, nullptr);
    const QString text = QString::fromUtf8(name ? name : "");
    g_free(name);
    return text;
}

Ref applicationOf(qint64 pid)
{
    Ref desktop(atspi_get_desktop(0));
    const int count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (int i = 0; i < count; ++i) {
        Ref app(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
        if (app && atspi_accessible_get_process_id(app.get(), nullptr) == guint(pid)) {
            atspi_accessible_set_cache_mask(app.get(), ATSPI_CACHE_NONE);
            return app;
        }
    }
    return nullptr;
}

// Calls `visit` on every element below `node`, in reading order, until it says stop.
bool walk(AtspiAccessible *node, const std::function<bool(AtspiAccessible *)> &visit, int depth = 0)
{
    if (depth > 60)
        return true;
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        Ref child(atspi_accessible_get_child_at_index(node, i, nullptr));
        if (!child)
            continue;
        if (!visit(child.get()) || !walk(child.get(), visit, depth + 1))
            return false;
    }
    return true;
}

QList<Element> elementsOf(qint64 pid)
{
    QList<Element> elements;
    Ref app = applicationOf(pid);
    if (!app)
        return elements;
    walk(app.get(), [&](AtspiAccessible *node) {
        Element e;
        e.role = atspi_accessible_get_role(node, nullptr);
        e.name = nameOf(node);
        if (AtspiStateSet *states = atspi_accessible_get_state_set(node)) {
            e.checked = atspi_state_set_contains(states, ATSPI_STATE_CHECKED);
            g_object_unref(states);
        }
        elements << e;
        return true;
    });
    return elements;
}

// The first element of `role` below the application `pid`, kept to be read again.
Ref firstWithRole(qint64 pid, AtspiRole role)
{
    Ref found;
    Ref app = applicationOf(pid);
    if (app)
        walk(app.get(), [&](AtspiAccessible *node) {
            if (atspi_accessible_get_role(node, nullptr) != role)
                return true;
            found.reset(ATSPI_ACCESSIBLE(g_object_ref(node)));
            return false;
        });
    return found;
}

bool isClickable(AtspiRole role)
{
    return role == ATSPI_ROLE_PUSH_BUTTON || role == ATSPI_ROLE_PAGE_TAB;
}

// Clicks the middle of the button or tab named `name`, where the screen
// reader says it is.
bool click(qint64 pid, const QString &name)
{
    QRect where;
    Ref app = applicationOf(pid);
    if (!app)
        return false;
    walk(app.get(), [&](AtspiAccessible *node) {
        if (!isClickable(atspi_accessible_get_role(node, nullptr)) || nameOf(node) != name)
            return true;
        if (AtspiComponent *component = atspi_accessible_get_component_iface(node)) {
            if (AtspiRect *r = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
                where = QRect(r->x, r->y, r->width, r->height);
                g_free(r);
            }
            g_object_unref(component);
        }
        return false;
    });
    if (where.isEmpty())
        return false;
    const QPoint centre = where.center();
    return run(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, QString::number(centre.x()), QString::number(centre.y()),
                              u"click"_s, u"1"_s}).exitCode == 0;
}

QStringList namesWithRole(const QList<Element> &elements, AtspiRole role)
{
    QStringList names;
    for (const Element &e : elements)
        if (e.role == role)
            names << e.name;
    return names;
}

std::optional<Element> find(const QList<Element> &elements, const QString &name)
{
    for (const Element &e : elements)
        if (e.name == name)
            return e;
    return std::nullopt;
}

std::optional<Element> findTab(const QList<Element> &elements, const QString &name)
{
    for (const Element &e : elements)
        if (e.role == ATSPI_ROLE_PAGE_TAB && e.name == name)
            return e;
    return std::nullopt;
}

// The mapped window titled exactly "Ombry Voice": its X id, or empty.
QString visibleWindow()
{
    const auto r = run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Ombry Voice$"_s}, {}, 3000);
    return r.exitCode == 0 ? QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts).value(0) : QString();
}

QRect geometryOf(const QString &window)
{
    const auto r = run(u"xdotool"_s, {u"getwindowgeometry"_s, u"--shell"_s, window}, {}, 3000);
    QHash<QString, int> values;
    for (const QString &line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts))
        values.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    return QRect(values.value(u"X"_s), values.value(u"Y"_s), values.value(u"WIDTH"_s), values.value(u"HEIGHT"_s));
}

const QStringList kEntries{u"Tableau de bord"_s, u"Correcteur"_s, u"Traduction"_s, u"Réunions"_s,
                           u"Historique"_s,      u"Dictionnaire"_s, u"Réglages"_s};

} // namespace

// The program as a user and a screen reader meet it on the private desktop:
// the window, its sidebar, the status card during a dictation, the pages, and
// what closing the window keeps.
class TestWindowAtspi : public QObject
{
    Q_OBJECT

    std::unique_ptr<QProcess> app_;
    std::unique_ptr<ScopedHome> home_;

    QString prefsPath() const
    {
        return home_->path() + u"/.config/Ombry Voice/com.corvanel.ombryvoice.json"_s;
    }

    QJsonObject prefs() const
    {
        return QJsonDocument::fromJson(TestEnv::readFile(prefsPath())).object();
    }

    // A new home with these defaults, and the program started in it.
    bool launch(const QJsonObject &defaults, bool freshHome = true)
    {
        if (freshHome) {
            home_.reset();
            home_ = std::make_unique<ScopedHome>();
            if (!defaults.isEmpty() && !TestEnv::writeFile(prefsPath(), QJsonDocument(defaults).toJson()))
                return false;
        }
        app_ = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"OMBRY_TEST_ACCEPT_XTEST"_s, u"1"_s);
        // A user with a key: the status card reads "Prêt".
        env.insert(u"OPENROUTER_API_KEY"_s, u"sk-or-test"_s);
        app_->setProcessEnvironment(env);
        app_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app_->setStandardOutputFile(QProcess::nullDevice());
        app_->start(QStringLiteral(OMBRY_BINARY), {});
        return app_->waitForStarted(5000)
            && TestEnv::waitFor([&] { return find(elementsOf(app_->processId()), u"Prêt"_s).has_value(); }, 15000);
    }

    void quit()
    {
        if (!app_)
            return;
        ::kill(pid_t(app_->processId()), SIGTERM);
        if (!app_->waitForFinished(10000))
            app_->kill();
        app_.reset();
    }

    QList<Element> elements() const { return elementsOf(app_->processId()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY2(atspi_init() == 0, "no accessibility bus");
    }

    void cleanup() { quit(); }

    void freshStartShowsTheWindow()
    {
        QVERIFY(launch({}));
        QString window;
        QVERIFY(TestEnv::waitFor([&] { return !(window = visibleWindow()).isEmpty(); }, 5000));
        QTest::qWait(300); // the window manager's placement settles
        const QRect geometry = geometryOf(window);
        QCOMPARE(geometry.size(), QSize(1100, 760));
        // Centred on the 1280 × 1024 desktop, give or take the decorations.
        QVERIFY2(std::abs(geometry.center().x() - 640) <= 12 && std::abs(geometry.center().y() - 512) <= 30,
                 qPrintable(u"%1,%2"_s.arg(geometry.x()).arg(geometry.y())));

        const QList<Element> all = elements();
        QStringList entries;
        for (const QString &name : namesWithRole(all, ATSPI_ROLE_PAGE_TAB))
            if (kEntries.contains(name))
                entries << name;
        QCOMPARE(entries, kEntries);
        QVERIFY(findTab(all, u"Tableau de bord"_s)->checked);
        QVERIFY(find(all, u"Salut "_s + Account::firstName()));
        QVERIFY(find(all, u"Maintiens Ctrl droit"_s));
        QVERIFY(find(all, u"Prêt"_s));
        QVERIFY(find(all, u"Ctrl droit"_s));
        // First run: the onboarding sheet is up, and the key stays unset until it is done.
        QVERIFY(find(all, u"Bienvenue dans Ombry Voice"_s));
        QVERIFY(!prefs().contains(u"onboarded"_s));
    }

    void statusCardFollowsADictationAndClosingKeepsThePaste()
    {
        EditorCloud cloud;
        QVERIFY(cloud.start());
        // Slow enough answers that every state of the card lasts to be read.
        cloud.http.setHandler([&cloud](const RecordedRequest &r) {
            if (r.path == QLatin1String("/v2/check"))
                return ScriptedReply::json(QJsonObject{{u"matches"_s, QJsonArray{}}});
            if (r.path.startsWith(QLatin1String("/v2/")))
                return ScriptedReply::text("");
            ScriptedReply reply = EditorCloud::chat(cloud.kind(r) == u"transcription"_s ? cloud.transcript : cloud.rewrite);
            reply.delayMs = 400;
            return reply;
        });
        QVERIFY(launch({{u"onboarded"_s, true}, {u"sounds"_s, false}, {u"transcriptionEngine"_s, u"gemini"_s},
                        {u"rewriteEngine"_s, u"openRouter"_s}}));
        QVERIFY(!find(elements(), u"Bienvenue dans Ombry Voice"_s));

        QTemporaryDir dir;
        const QString speech = dir.filePath(u"parole.wav"_s);
        QCOMPARE(run(u"espeak-ng"_s, {u"-v"_s, u"fr"_s, u"-w"_s, speech, u"Bonjour, une table pour deux ce soir."_s}, {},
                     20000).exitCode, 0);
        DesktopTools::Editor editor;
        QVERIFY(editor.start(u""_s));

        Ref status = firstWithRole(app_->processId(), ATSPI_ROLE_STATUS_BAR);
        QVERIFY(status);
        const auto dictate = [&](QStringList *seen) {
            QProcess player;
            const auto note = [&] {
                const QString title = nameOf(status.get());
                if (seen->isEmpty() || seen->constLast() != title)
                    *seen << title;
            };
            note();
            run(u"xdotool"_s, {u"keydown"_s, u"Control_R"_s});
            QTest::qWait(300);
            player.start(u"paplay"_s, {u"-d"_s, u"vsink"_s, speech});
            while (player.state() != QProcess::NotRunning && !player.waitForFinished(50))
                note();
            note();
            run(u"xdotool"_s, {u"keyup"_s, u"Control_R"_s});
            QElapsedTimer clock;
            clock.start();
            do {
                note();
                QTest::qWait(15);
            } while (!(seen->constLast() == u"Prêt"_s && seen->size() > 1) && clock.elapsed() < 10000);
        };

        const auto activateEditor = [&] {
            run(u"xdotool"_s, {u"search"_s, u"--pid"_s, QString::number(editor.pid()), u"windowactivate"_s, u"--sync"_s});
        };
        QStringList seen;
        activateEditor();
        QVERIFY(editor.send(u"set "_s));
        QTest::qWait(200);
        dictate(&seen);
        QVERIFY2(seen == (QStringList{u"Prêt"_s, u"J'écoute…"_s, u"Mise au propre…"_s, u"Prêt"_s}),
                 qPrintable(seen.join(u" → "_s)));
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == cloud.rewrite + u'.'; }, 10000), qPrintable(editor.text()));

        // Closing the window keeps the program, its key and its paste.
        const QString window = visibleWindow();
        QVERIFY(!window.isEmpty());
        run(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, window});
        run(u"xdotool"_s, {u"key"_s, u"--clearmodifiers"_s, u"alt+F4"_s});
        QVERIFY(TestEnv::waitFor([] { return visibleWindow().isEmpty(); }, 5000));
        QCOMPARE(app_->state(), QProcess::Running);
        activateEditor();
        QVERIFY(editor.send(u"set "_s));
        seen.clear();
        dictate(&seen);
        QVERIFY2(TestEnv::waitFor([&] { return editor.text() == cloud.rewrite + u'.'; }, 10000), qPrintable(editor.text()));
        QCOMPARE(app_->state(), QProcess::Running);
    }

    void pagesAndTheTranslationTabSurviveARelaunch()
    {
        QVERIFY(launch({{u"onboarded"_s, true}}));
        QVERIFY(click(app_->processId(), u"Réglages"_s));
        QVERIFY(TestEnv::waitFor([&] { return findTab(elements(), u"Réglages"_s)->checked; }, 3000));
        QVERIFY(!findTab(elements(), u"Tableau de bord"_s)->checked);

        QVERIFY(click(app_->processId(), u"Traduction"_s));
        QVERIFY(TestEnv::waitFor([&] { return findTab(elements(), u"Texte"_s).has_value(); }, 3000));
        QVERIFY(findTab(elements(), u"Texte"_s)->checked);
        QVERIFY(click(app_->processId(), u"Appels en direct"_s));
        QVERIFY(TestEnv::waitFor([&] { return findTab(elements(), u"Appels en direct"_s)->checked; }, 3000));
        QVERIFY(TestEnv::waitFor([&] { return prefs().value(u"translationTab"_s) == u"calls"_s; }, 3000));

        quit();
        QVERIFY(launch({}, false));
        QVERIFY(click(app_->processId(), u"Traduction"_s));
        QVERIFY(TestEnv::waitFor([&] {
            const auto calls = findTab(elements(), u"Appels en direct"_s);
            return calls && calls->checked;
        }, 3000));
        QVERIFY(!findTab(elements(), u"Texte"_s)->checked);
    }
};

OMBRY_TEST_GUI_MAIN(TestWindowAtspi)
#include "tst_window_atspi.moc"
