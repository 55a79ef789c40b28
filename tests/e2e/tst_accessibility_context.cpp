#include "platform/Accessibility.h"
#include "support/TestEnv.h"
#include "tools/gtk_apps.h"

#include <glib.h>

namespace {

// The sources attached to `context` now. Source ids are handed out per context
// in rising order, so a fresh one bounds them all.
int sourcesOn(GMainContext *context)
{
    GSource *probe = g_idle_source_new();
    const guint last = g_source_attach(probe, context);
    g_source_destroy(probe);
    g_source_unref(probe);
    int count = 0;
    for (guint id = 1; id < last; ++id) {
        if (g_main_context_find_source_by_id(context, id))
            ++count;
    }
    return count;
}

} // namespace

// The accessibility queries keep every D-Bus connection they open off the
// default GLib context, which this thread's event loop runs: a connection
// driven from two threads deadlocks the program.
class TestAccessibilityContext : public QObject
{
    Q_OBJECT

    DesktopTools::GtkDesktop desktop;
    int before = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(desktop.start());
        // Let both applications register on the accessibility bus.
        QTest::qWait(500);
        before = sourcesOn(g_main_context_default());
        Accessibility::warmUp();
        QVERIFY(TestEnv::waitFor([] { return Accessibility::available(); }, 5000));
    }

    void nothingOnTheDefaultContext_data()
    {
        QTest::addColumn<QString>("active");
        QTest::newRow("editor active") << QStringLiteral("editor");
        QTest::newRow("terminal active") << QStringLiteral("terminal");
        QTest::newRow("editor again") << QStringLiteral("editor");
    }

    void nothingOnTheDefaultContext()
    {
        QFETCH(QString, active);
        DesktopTools::GtkApp &app = active == QStringLiteral("terminal") ? desktop.terminal : desktop.editor;
        QVERIFY(app.activate());
        // Each query walks the desktop and talks to the applications over their
        // own connections; the editor's text view takes text.
        if (active == QStringLiteral("editor"))
            QVERIFY(TestEnv::waitFor([] { return Accessibility::focusedIsEditable(1000) == true; }, 8000));
        for (int query = 0; query < 3; ++query)
            Accessibility::selectedText(1000);
        // Answers and change signals that come after the walk.
        QTest::qWait(300);
        QCOMPARE(sourcesOn(g_main_context_default()), before);
    }
};

OMBRY_TEST_GUI_MAIN(TestAccessibilityContext)
#include "tst_accessibility_context.moc"
