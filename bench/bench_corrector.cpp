// Cost of what the corrector page derives from a result: the text to copy with the
// ignored fixes put back and the ranges to highlight, and the frequent mistakes.
#include "pages/CorrectorLists.h"
#include "pages/CorrectorText.h"
#include "model/Store.h"
#include "support/TestEnv.h"
#include "text/Analyzer.h"
#include "BenchTiming.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

using BenchTiming::medianMs;

const QStringList kVocabulary = {
    QStringLiteral("je"),     QStringLiteral("suis"),   QStringLiteral("allé"),  QStringLiteral("a"),
    QStringLiteral("la"),     QStringLiteral("plage"),  QStringLiteral("hier"),  QStringLiteral("soir"),
    QStringLiteral("avec"),   QStringLiteral("mes"),    QStringLiteral("amis"),  QStringLiteral("et"),
    QStringLiteral("nous"),   QStringLiteral("avons"),  QStringLiteral("mangé"), QStringLiteral("des"),
    QStringLiteral("glaces"), QStringLiteral("maison"), QStringLiteral("ça"),    QStringLiteral("travail"),
};

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    QRandomGenerator rng(7);

    // 1,500 words, one in ten changed: 150 fixes, half of them ignored.
    QStringList original;
    for (int i = 0; i < 1500; ++i)
        original.append(kVocabulary[rng.bounded(int(kVocabulary.size()))]);
    QStringList corrected = original;
    for (int i = 5; i < corrected.size(); i += 10)
        corrected[i] = corrected[i] + QStringLiteral("é");
    const Analysis analysis{corrected.join(QLatin1Char(' ')),
                            Analyzer::diff(original.join(QLatin1Char(' ')), corrected.join(QLatin1Char(' ')))};
    QSet<QUuid> ignored;
    for (qsizetype k = 0; k < analysis.fixes.size(); k += 2)
        ignored.insert(analysis.fixes[k].id);
    CorrectorText::Rendered rendered;
    const double renderMs = medianMs(21, [&] { rendered = CorrectorText::render(analysis, ignored); });
    std::printf("final text and highlights, 1500 words, %lld fixes (%lld ignored): %.3f ms (median of 21; budget 5 ms)\n",
                qlonglong(analysis.fixes.size()), qlonglong(ignored.size()), renderMs);

    // 2,000 records of 1 to 8 fixes each.
    QList<CorrectionRecord> records;
    for (int r = 0; r < 2000; ++r) {
        CorrectionRecord record;
        record.action = QStringLiteral("Corriger");
        const int n = 1 + rng.bounded(8);
        for (int k = 0; k < n; ++k) {
            Fix fix;
            fix.original = kVocabulary[rng.bounded(int(kVocabulary.size()))];
            fix.correction = fix.original + QStringLiteral("s");
            fix.kind = QStringLiteral("accord");
            record.fixes.append(fix);
        }
        records.append(record);
    }
    qsizetype found = 0;
    const double mistakesMs = medianMs(21, [&] { found = CorrectorText::frequentMistakes(records).size(); });
    std::printf("frequent mistakes over %lld records: %.3f ms (median of 21; budget 25 ms), %lld shown\n",
                qlonglong(records.size()), mistakesMs, qlonglong(found));

    // The card's model recomputes only when the records change.
    Store store(TestEnv::home() + QStringLiteral("/bench-store"));
    store.setFixes(records);
    FrequentMistakesModel model(&store);
    CorrectionRecord one = records.first();
    one.id = QUuid::createUuid();
    const double addMs = medianMs(21, [&] { store.addFix(one); });
    std::printf("one record added, frequent mistakes recomputed (%d rows): %.3f ms (median of 21)\n", model.count(),
                addMs);
    return 0;
}
