// The longest stretch the main thread went without an event while a selection
// action (read aloud, with the copy fallback) asked a GTK editor for its
// selection: answering, then stopped (SIGSTOP). Also how long the action took.
#include "dictation/Paster.h"
#include "dictation/Reader.h"
#include "dictation/SelectionActions.h"
#include "platform/Accessibility.h"
#include "support/FakeSelectionHost.h"
#include "support/TestEnv.h"
#include "tools/gtk_apps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

struct Run
{
    double longestGapMs = 0;
    double totalMs = 0;
};

void print(const char *what, QList<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%s, %lld essais : médiane %.1f ms, max %.1f ms\n", what, qint64(values.size()),
                values.at(values.size() / 2), values.last());
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("sélection → fil principal: ignoré (pas de bureau privé)\n");
        return 0;
    }
    QApplication app(argc, argv);
    Application root;
    DesktopTools::GtkApp editor;
    if (!editor.start(QStringLiteral("mousepad"), {QStringLiteral("--disable-server")})) {
        std::printf("sélection → fil principal: ignoré (mousepad absent)\n");
        return 0;
    }
    Accessibility::warmUp();
    if (!TestEnv::waitFor([] { return Accessibility::focusedIsEditable(3000) == true; }, 15000)) {
        std::printf("sélection → fil principal: l'éditeur ne répond pas par l'accessibilité\n");
        return 1;
    }
    PasteDesktop desktop;
    desktop.post = [](quint16, quint64) { return true; };
    desktop.modifiers = [] { return quint64(0); };
    Paster paster(desktop);
    QTest::qWait(500);

    const auto once = [&](Run &run) {
        FakeSelectionHost host;
        host.pasterInUse = &paster;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        QTimer turn;
        turn.setInterval(2);
        QObject::connect(&turn, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        turn.start();
        SelectionActions::speakSelection(&host);
        const bool ended = TestEnv::waitFor([&] { return !host.calls.isEmpty(); }, 20000);
        run.totalMs = clock.nsecsElapsed() / 1e6;
        run.longestGapMs = longest / 1e6;
        return ended;
    };

    QList<double> gapsAnswering, gapsFrozen, totalFrozen;
    for (int i = 0; i < 5; ++i) {
        Run run;
        if (!once(run))
            return 1;
        gapsAnswering << run.longestGapMs;
    }
    for (int i = 0; i < 5; ++i) {
        editor.freeze();
        Run run;
        const bool ended = once(run);
        editor.resume();
        if (!ended)
            return 1;
        gapsFrozen << run.longestGapMs;
        totalFrozen << run.totalMs;
        TestEnv::waitFor([] { return Accessibility::focusedIsEditable(1000).has_value(); }, 8000);
    }
    print("plus long arrêt du fil principal, éditeur GTK qui répond", gapsAnswering);
    print("plus long arrêt du fil principal, éditeur GTK figé (SIGSTOP)", gapsFrozen);
    print("durée de la lecture de la sélection, éditeur figé", totalFrozen);
    return 0;
}
