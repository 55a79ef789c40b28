#include "engines/Hallucination.h"

#include "model/TextUtil.h"

namespace Hallucination {

namespace {

// An apostrophe ends a word here: "l'audio" holds "audio".
bool isLetter(QChar c)
{
    return c.isLetter();
}

// `phrase` at a word start in `lower`; `whole` also wants it to end a word.
bool hasPhrase(const QString &lower, const QString &phrase, bool whole)
{
    for (qsizetype at = lower.indexOf(phrase); at >= 0; at = lower.indexOf(phrase, at + 1)) {
        const qsizetype end = at + phrase.size();
        const bool starts = at == 0 || !isLetter(lower.at(at - 1));
        const bool ends = !whole || end == lower.size() || !isLetter(lower.at(end));
        if (starts && ends)
            return true;
    }
    return false;
}

} // namespace

bool isFake(const QString &text)
{
    // What the model says about the audio it was given: the audio itself (a word
    // start, so "audios" and "transcription" count), then a refusal, an apology
    // or a remark that it is empty, each a whole word or phrase. A sentence of the
    // user's about a meeting's recording or a speaking turn has no such refusal.
    static const char *const topics[] = {"audio", "enregistrement", "transcri", "recording", "hear", "parole"};
    static const char *const refusals[] = {
        "pas pu", "ne peux pas", "ne peut pas", "n'ai pas entendu", "n'ai rien entendu", "impossible",
        "inaudible", "vide", "aucun audio", "aucune parole", "aucun son", "pas d'audio", "pas de parole",
        "veuillez", "pourriez-vous", "fournir", "couldn't", "could not", "can't", "cannot", "unable",
        "no audio", "no speech", "provide", "sorry", "désolé", "désolée"};
    QString lower = text.toLower();
    lower.replace(QChar(0x2019), QLatin1Char('\''));
    bool topic = false;
    for (const char *word : topics)
        topic = topic || hasPhrase(lower, QString::fromUtf8(word), false);
    if (!topic)
        return false;
    for (const char *word : refusals)
        if (hasPhrase(lower, QString::fromUtf8(word), true))
            return true;
    return false;
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
