// Prints the costs of the dashboard and history pages over a large store (10,000
// dictations, 2,000 correction records): the list's build, one search keystroke, the
// dashboard's figures, and opening the history page to its first frame.
#include "app/Application.h"
#include "model/AppSettings.h"
#include "model/Store.h"
#include "pages/DashboardModel.h"
#include "pages/HistoryFilter.h"
#include "pages/HistoryListModel.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QStringList kVocabulary = {u"bonjour"_s, u"réunion"_s, u"demain"_s, u"projet"_s, u"équipe"_s, u"envoyer"_s,
                                 u"message"_s, u"client"_s,  u"chat"_s,   u"rapport"_s, u"café"_s,  u"l'été"_s};
const QStringList kApps = {u"Firefox"_s, u"Kate"_s, u"Slack"_s, u"Thunderbird"_s, u"Terminal"_s, u"Zoom"_s, u"Gedit"_s};

QString sentence(QRandomGenerator &rng, int words)
{
    QStringList out;
    for (int i = 0; i < words; ++i)
        out << kVocabulary.at(int(rng.bounded(kVocabulary.size())));
    return out.join(u' ') + u'.';
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

void seed(Store &store)
{
    QRandomGenerator rng(7);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<Dictation> history;
    for (int i = 0; i < 10000; ++i) {
        Dictation d;
        d.date = now.addSecs(-qint64(i) * 2900); // about 330 days
        d.appName = kApps.at(int(rng.bounded(kApps.size())));
        d.finalText = sentence(rng, 8 + int(rng.bounded(40)));
        d.rawText = u"euh "_s + d.finalText;
        d.duration = 2 + rng.bounded(30);
        history.append(d);
    }
    store.setDictations(history);
    QList<CorrectionRecord> fixes;
    for (int i = 0; i < 2000; ++i) {
        CorrectionRecord r;
        r.date = now.addSecs(-qint64(i) * 14000);
        r.appName = kApps.at(int(rng.bounded(kApps.size())));
        r.action = u"Corriger"_s;
        r.original = sentence(rng, 20);
        r.result = sentence(rng, 20);
        r.fixes.resize(int(rng.bounded(4)));
        fixes.append(r);
    }
    store.setFixes(fixes);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QApplication app(argc, argv);
    Application root;
    Store *store = root.store();
    seed(*store);
    std::printf("pages: 10000 dictations, 2000 correction records\n");

    QElapsedTimer t;
    t.start();
    qsizetype keyChars = 0;
    for (const Dictation &d : store->dictations())
        keyChars += HistoryFilter::searchKey(d.finalText).size() + HistoryFilter::searchKey(d.rawText).size();
    for (const CorrectionRecord &r : store->fixes())
        keyChars += HistoryFilter::searchKey(r.result).size() + HistoryFilter::searchKey(r.original).size();
    std::printf("search keys of every entry: %.1f ms (%lld characters)\n", ms(t.nsecsElapsed()), qint64(keyChars));
    t.restart();
    auto list = std::make_unique<HistoryListModel>(store, nullptr, nullptr, nullptr);
    std::printf("history list build: %.1f ms\n", ms(t.nsecsElapsed()));

    // Typing "réunion" then erasing it, one keystroke at a time.
    const QString word = u"réunion"_s;
    QList<double> keys;
    for (int i = 1; i <= word.size(); ++i) {
        t.restart();
        list->setSearch(word.left(i));
        keys.append(ms(t.nsecsElapsed()));
    }
    for (int i = int(word.size()) - 1; i >= 0; --i) {
        t.restart();
        list->setSearch(word.left(i));
        keys.append(ms(t.nsecsElapsed()));
    }
    std::sort(keys.begin(), keys.end());
    double sum = 0;
    for (double k : std::as_const(keys))
        sum += k;
    std::printf("search keystroke: mean %.2f ms, median %.2f ms, worst %.2f ms (limit 15 ms)\n", sum / keys.size(),
                keys.at(keys.size() / 2), keys.last());
    t.restart();
    list->setKind(1);
    std::printf("switch to corrections: %.2f ms\n", ms(t.nsecsElapsed()));
    list.reset();

    DashboardModel dashboard(store, root.settings());
    const int rounds = 20;
    t.restart();
    for (int i = 0; i < rounds; ++i)
        dashboard.refresh();
    std::printf("dashboard figures: %.2f ms (limit 10 ms)\n", ms(t.nsecsElapsed()) / rounds);

    // The page in a window, as the main window shows it.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("history page first frame: skipped (no display)\n");
        return 0;
    }
    // The main window is already on screen when the page is opened.
    QQuickWindow window;
    window.resize(1100, 800);
    bool swapped = false;
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [&] { swapped = true; });
    window.show();
    TestEnv::waitFor([&] { return swapped; }, 10000);
    QQmlEngine *engine = root.engine();
    {
        // The program starts on the dashboard: the kit and the controls are loaded
        // before the history is first opened.
        QQmlComponent component(engine, QUrl(u"qrc:/Ombry/DashboardPage.qml"_s));
        std::unique_ptr<QObject> page(component.create());
        if (auto *item = qobject_cast<QQuickItem *>(page.get())) {
            swapped = false;
            t.restart();
            item->setParentItem(window.contentItem());
            item->setSize(window.size());
            TestEnv::waitFor([&] { return swapped; }, 10000);
            std::printf("dashboard page first frame: %.1f ms\n", ms(t.nsecsElapsed()));
        }
    }
    for (int round = 1; round <= 2; ++round) {
        swapped = false;
        t.restart();
        QQmlComponent component(engine, QUrl(u"qrc:/Ombry/HistoryPage.qml"_s));
        QObject *page = component.create();
        if (!page) {
            std::printf("history page: %s\n", qPrintable(component.errorString()));
            return 1;
        }
        const double created = ms(t.nsecsElapsed());
        auto *item = qobject_cast<QQuickItem *>(page);
        item->setParentItem(window.contentItem());
        item->setSize(window.size());
        TestEnv::waitFor([&] { return swapped; }, 10000);
        const double firstFrame = ms(t.nsecsElapsed());
        int delegates = 0;
        std::function<void(QQuickItem *)> walk = [&](QQuickItem *i) {
            if (i->objectName().startsWith(u"historyRow"_s))
                ++delegates;
            for (QQuickItem *c : i->childItems())
                walk(c);
        };
        walk(item);
        // What one more frame of the same scene costs, for comparison.
        swapped = false;
        t.restart();
        window.update();
        TestEnv::waitFor([&] { return swapped; }, 10000);
        const double nextFrame = ms(t.nsecsElapsed());
        std::printf("history page %s: created %.1f ms, first frame %.1f ms (limit 300 ms), %d of %d rows made; "
                    "a frame alone %.1f ms\n",
                    round == 1 ? "first opening" : "opened again", created, firstFrame, delegates,
                    int(store->dictations().size()), nextFrame);
        delete page;
    }
    return 0;
}
