#include "engines/Hallucination.h"

#include "model/TextUtil.h"

namespace Hallucination {

bool isFake(const QString &text)
{
    static const char *const topics[] = {"audio", "enregistrement", "entendre", "entendu",
                                         "transcri", "hear", "recording", "parole"};
    static const char *const refusals[] = {"pas pu", "n'ai pas", "aucun", "aucune", "vide", "inaudible",
                                           "fournir", "veuillez", "pourriez", "impossible", "couldn't",
                                           "could not", "unable", "no ", "provide", "sorry", "désolé"};
    const QString lower = text.toLower();
    auto containsAny = [&lower](const auto &list) {
        for (const char *word : list) {
            if (lower.contains(QString::fromUtf8(word)))
                return true;
        }
        return false;
    };
    return containsAny(topics) && containsAny(refusals);
}

QString clean(const QString &text)
{
    if (!isFake(text))
        return text;
    QString kept;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.') || c == QLatin1Char('?') || c == QLatin1Char('!')) {
            const QString piece = text.mid(start, i + 1 - start);
            if (!isFake(piece))
                kept += piece;
            start = i + 1;
        }
    }
    if (start < text.size()) {
        const QString piece = text.mid(start);
        if (!isFake(piece))
            kept += piece;
    }
    return TextUtil::trimmed(kept);
}

} // namespace Hallucination
