#include "text/SelectionFit.h"

#include "model/TextUtil.h"
#include "text/Chars.h"

namespace SelectionFit {
namespace {

QString leading(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && TextUtil::isWhiteSpace(text.at(i).unicode()))
        ++i;
    return text.left(i);
}

QString trailing(const QString &text)
{
    qsizetype i = text.size();
    while (i > 0 && TextUtil::isWhiteSpace(text.at(i - 1).unicode()))
        --i;
    return text.mid(i);
}

bool opening(QChar c)
{
    return c == QLatin1Char('"') || c == QChar(0x00AB) || c == QChar(0x201C) || c == QLatin1Char('(')
           || c == QLatin1Char('[') || c == QLatin1Char('\'') || c == QChar(0x2018) || c == QChar(0x00A0)
           || c == QLatin1Char(' ');
}

bool closing(QChar c)
{
    return c == QLatin1Char('"') || c == QChar(0x00BB) || c == QChar(0x201D) || c == QLatin1Char(')')
           || c == QLatin1Char(']') || c == QLatin1Char('\'') || c == QChar(0x2019) || c == QChar(0x00A0)
           || c == QLatin1Char(' ');
}

bool finalMark(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?') || c == QChar(0x2026);
}

// Marks a correction may add at the end of a fragment.
bool addedMark(QChar c)
{
    return finalMark(c) || c == QLatin1Char(';') || c == QLatin1Char(':') || c == QLatin1Char(',')
           || c == QChar(0x00A0) || c == QChar(0x202F) || c == QLatin1Char(' ');
}

} // namespace

bool wholeSentence(const QString &selection)
{
    const QString core = TextUtil::trimmed(selection);
    qsizetype start = 0;
    while (start < core.size() && opening(core.at(start)))
        ++start;
    qsizetype end = core.size();
    while (end > start && closing(core.at(end - 1)))
        --end;
    return start < end && Chars::startsUpper(core.mid(start)) && finalMark(core.at(end - 1));
}

QString fit(const QString &selection, const QString &corrected)
{
    QString core = TextUtil::trimmed(corrected);
    const QString original = TextUtil::trimmed(selection);
    if (core.isEmpty())
        return selection;
    if (!wholeSentence(selection)) {
        // A capital the fragment did not start with.
        const char32_t was = Chars::firstCodePoint(original);
        const char32_t now = Chars::firstCodePoint(core);
        if (Chars::isLetter(was) && Chars::isLower(was) && Chars::isUpper(now)) {
            const qsizetype width = QChar::requiresSurrogates(now) ? 2 : 1;
            core = QString::fromUcs4(&now, 1).toLower() + core.mid(width);
        }
        // Final punctuation it did not end with.
        if (!original.isEmpty() && !addedMark(original.back()) && !closing(original.back())) {
            qsizetype end = core.size();
            while (end > 0 && addedMark(core.at(end - 1)))
                --end;
            if (end > 0)
                core.truncate(end);
        }
    }
    return leading(selection) + core + trailing(selection);
}

} // namespace SelectionFit
