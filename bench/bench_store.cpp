// Prints the store's costs: loading and saving a large history, the main thread's share
// of a save, and the two look-ups the dictation road makes on every dictation.
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QStringList kVocabulary = {
    QStringLiteral("bonjour"), QStringLiteral("réunion"), QStringLiteral("demain"),  QStringLiteral("projet"),
    QStringLiteral("équipe"),  QStringLiteral("envoyer"), QStringLiteral("message"), QStringLiteral("client"),
    QStringLiteral("chat"),    QStringLiteral("rapport"), QStringLiteral("café"),    QStringLiteral("l'été"),
};

QString sentence(QRandomGenerator &rng, int words)
{
    QStringList out;
    for (int i = 0; i < words; ++i)
        out << kVocabulary.at(int(rng.bounded(kVocabulary.size())));
    return out.join(QLatin1Char(' ')) + QLatin1Char('.');
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

template<typename F>
double perCallMs(int calls, F &&f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i)
        f();
    return ms(t.nsecsElapsed()) / calls;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    tmp.setAutoRemove(qEnvironmentVariableIsEmpty("BENCH_STORE_KEEP"));
    QRandomGenerator rng(42);
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-400);

    QList<Dictation> history;
    for (int i = 0; i < 10000; ++i) {
        Dictation d;
        d.date = start.addSecs(qint64(i) * 3456);
        d.appName = i % 3 ? QStringLiteral("Firefox") : QStringLiteral("Notes");
        if (i % 2)
            d.bundleID = QStringLiteral("org.mozilla.firefox");
        d.finalText = sentence(rng, 40);
        d.rawText = sentence(rng, 45);
        d.duration = 5 + rng.bounded(30.0);
        d.audioFile = uuidText(d.id) + QStringLiteral(".wav");
        history.prepend(d);
    }
    QList<CorrectionRecord> records;
    for (int i = 0; i < 2000; ++i) {
        CorrectionRecord r;
        r.date = start.addSecs(qint64(i) * 9000);
        r.appName = QStringLiteral("Ombry Voice");
        r.action = QStringLiteral("Corriger");
        r.original = sentence(rng, 60);
        r.result = sentence(rng, 60);
        for (int k = 0; k < 3; ++k) {
            Fix f;
            f.original = QStringLiteral("il sont");
            f.correction = QStringLiteral("ils sont");
            f.kind = QStringLiteral("accord");
            f.explanation = QStringLiteral("Le verbe s'accorde avec son sujet.");
            r.fixes.append(f);
        }
        records.prepend(r);
    }

    std::printf("bench_store: 10000 dictations, 2000 correction records%s%s\n", tmp.autoRemove() ? "" : ", kept in ",
                tmp.autoRemove() ? "" : qPrintable(tmp.path()));
    {
        Store seed(tmp.path());
        QElapsedTimer t;
        t.start();
        seed.setDictations(history);
        seed.setFixes(records);
        const qint64 schedule = t.nsecsElapsed();
        t.restart();
        seed.flush();
        std::printf("  assign both lists (main thread, stats included): %8.2f ms\n", ms(schedule));
        std::printf("  encode + write both files (store thread):        %8.2f ms  (history %.1f MB, fixes %.1f MB)\n",
                    ms(t.nsecsElapsed()), QFile(tmp.filePath("history.json")).size() / 1e6,
                    QFile(tmp.filePath("fixes.json")).size() / 1e6);
    }

    double bestLoad = 1e9;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer t;
        t.start();
        Store loaded(tmp.path());
        bestLoad = std::min(bestLoad, ms(t.nsecsElapsed()));
        if (loaded.dictations().size() != 10000 || loaded.fixes().size() != 2000) {
            std::printf("  load FAILED: %lld dictations\n", qlonglong(loaded.dictations().size()));
            return 1;
        }
    }
    std::printf("  load (all seven files, stats):                   %8.2f ms  (limit 150)\n", bestLoad);

    Store store(tmp.path());
    // Main-thread cost of one new dictation: insertion, statistics, scheduling the save.
    Dictation fresh = history.first();
    const double addMs = perCallMs(50, [&] {
        fresh.id = QUuid::createUuid();
        store.add(fresh);
    });
    std::printf("  add one dictation (main thread):                 %8.3f ms per call\n", addMs);
    const double addFixMs = perCallMs(50, [&] {
        CorrectionRecord r = records.first();
        r.id = QUuid::createUuid();
        store.addFix(r);
    });
    std::printf("  add one correction record (main thread):         %8.3f ms per call\n", addFixMs);
    const double scheduleMs = perCallMs(50, [&] { store.setWords({QStringLiteral("mot")}); });
    std::printf("  schedule a save (main thread):                   %8.3f ms per call\n", scheduleMs);
    QElapsedTimer flushTimer;
    flushTimer.start();
    store.flush();
    std::printf("  flush after the adds (blocks the caller, at quit): %6.2f ms\n", ms(flushTimer.nsecsElapsed()));

    // The dictation road's look-ups.
    QList<Correction> corrections;
    for (int i = 0; i < 200; ++i)
        corrections.append({QUuid::createUuid(), QStringLiteral("terme%1").arg(i), QStringLiteral("Terme %1").arg(i)});
    corrections.append({QUuid::createUuid(), QStringLiteral("chat"), QStringLiteral("Chat GPT")});
    store.setCorrections(corrections);
    const QString text = sentence(rng, 500);
    QString out;
    const double correctMs = perCallMs(200, [&] { out = store.applyCorrections(text); });
    std::printf("  applyCorrections, 201 corrections, 500 words:    %8.3f ms per call  (limit 5)\n", correctMs);

    QList<Snippet> snippets;
    for (int i = 0; i < 500; ++i)
        snippets.append({QUuid::createUuid(), QStringLiteral("Ma signature numéro %1 !").arg(i), QStringLiteral("x")});
    store.setSnippets(snippets);
    const QString spoken = QStringLiteral("  Ma signature numéro 499.");
    bool found = false;
    const double snippetMs = perCallMs(2000, [&] { found = store.snippet(spoken).has_value(); });
    const double missMs = perCallMs(200, [&] { found = found && !store.snippet(text).has_value(); });
    std::printf("  snippet(matching), 500 snippets, last one hits:  %8.4f ms per call  (limit 5)\n", snippetMs);
    std::printf("  snippet(matching), 500 snippets, 500-word miss:  %8.4f ms per call\n", missMs);
    store.flush();
    return found && out.contains(QStringLiteral("Chat GPT")) ? 0 : 1;
}
