// Cost of the word comparison and of the corrector's local steps.
#include "support/TestEnv.h"
#include "text/Analyzer.h"
#include "text/Corrector.h"
#include "BenchTiming.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

using BenchTiming::medianMs;

const QStringList kVocabulary = {
    QStringLiteral("je"), QStringLiteral("suis"), QStringLiteral("allé"), QStringLiteral("a"), QStringLiteral("la"),
    QStringLiteral("plage"), QStringLiteral("hier"), QStringLiteral("soir"), QStringLiteral("avec"), QStringLiteral("mes"),
    QStringLiteral("amis"), QStringLiteral("et"), QStringLiteral("nous"), QStringLiteral("avons"), QStringLiteral("mangé"),
    QStringLiteral("des"), QStringLiteral("glaces"), QStringLiteral("jsp"), QStringLiteral("vraiment"), QStringLiteral("école"),
    QStringLiteral("maison"), QStringLiteral("tkt"), QStringLiteral("demain"), QStringLiteral("travail"), QStringLiteral("ça"),
};

QStringList randomWords(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QStringList words;
    for (int i = 0; i < n; ++i) {
        QString w = kVocabulary[rng.bounded(int(kVocabulary.size()))];
        if (rng.bounded(12) == 0)
            w += QLatin1Char(',');
        words.append(w);
    }
    return words;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);

    // Word comparison: two 1,500-word texts, about one word in ten changed.
    const QStringList base = randomWords(1500, 1);
    QStringList changed = base;
    QRandomGenerator rng(2);
    for (int i = 0; i < changed.size(); ++i)
        if (rng.bounded(10) == 0)
            changed[i] = kVocabulary[rng.bounded(int(kVocabulary.size()))] + QStringLiteral("x");
    const QString a = base.join(QLatin1Char(' '));
    const QString b = changed.join(QLatin1Char(' '));
    qsizetype fixCount = 0;
    const double diffMs = medianMs(15, [&] { fixCount = Analyzer::diff(a, b).size(); });
    std::printf("Analyzer::diff, 1500 × 1500 words (%lld fixes): %.2f ms (median of 15)\n", qlonglong(fixCount), diffMs);

    // Corrector local steps: 1,000 words with 60 findings of every kind.
    const QString text = randomWords(1000, 3).join(QLatin1Char(' '));
    QList<LanguageTool::Match> matches;
    const QStringList kinds = {QStringLiteral("orthographe"), QStringLiteral("accord"), QStringLiteral("typographie"),
                               QStringLiteral("ponctuation"), QStringLiteral("style"), QStringLiteral("conjugaison")};
    qsizetype from = 0;
    for (int k = 0; k < 60; ++k) {
        const qsizetype start = text.indexOf(QLatin1Char(' '), from + 60) + 1;
        const qsizetype end = text.indexOf(QLatin1Char(' '), start);
        LanguageTool::Match m;
        m.start = start;
        m.length = end - start;
        m.original = text.mid(start, end - start);
        m.kind = kinds[k % kinds.size()];
        m.message = QStringLiteral("Faute possible");
        m.category = QStringLiteral("Catégorie");
        m.replacements = {m.original.toUpper(), m.original + QStringLiteral("s"), QStringLiteral("autre")};
        matches.append(m);
        from = end;
    }
    // A model answer that wrote slang in capitals and turned the end into a question.
    QString reply = text;
    reply.replace(QStringLiteral(" jsp "), QStringLiteral(" JSP ")).append(QStringLiteral(" ?"));
    const QStringList words = {QStringLiteral("Kesso"), QStringLiteral("tkt")};
    const CorrectionScope scope(15);
    QString result;
    const double localMs = medianMs(15, [&] {
        const auto kept = Corrector::keepMatches(matches, words, scope, PunctuationLevel::Normal);
        const auto withModel = Corrector::applyMatches(text, kept, true);
        const auto without = Corrector::applyMatches(text, kept, false);
        const QString user = Corrector::modelUser(withModel.text, withModel.hints);
        result = Corrector::finish(Corrector::guardChanges(text, Corrector::cleanReply(reply)), scope)
                 + Corrector::finish(without.text, scope) + user.left(0);
    });
    std::printf("Corrector local steps, 1000 words, 60 findings: %.2f ms (median of 15)\n", localMs);
    return 0;
}
