#include "model/TextUtil.h"

#include <QStringView>
#include <QTextBoundaryFinder>

namespace TextUtil {

bool isWhiteSpace(char32_t c)
{
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
    case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

bool isLineBreak(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

namespace {

template<typename Pred>
QString trimmedBy(const QString &text, Pred strip)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    // All characters trimmed here are in the BMP, so UTF-16 units suffice.
    while (begin < end && strip(char32_t(text.at(begin).unicode())))
        ++begin;
    while (end > begin && strip(char32_t(text.at(end - 1).unicode())))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString trimmed(const QString &text)
{
    return trimmedBy(text, isWhiteSpace);
}

QString trimmedSpaces(const QString &text)
{
    return trimmedBy(text, [](char32_t c) { return c == ' ' || c == '\t'; });
}

QString trimmedBlanks(const QString &text)
{
    return trimmedBy(text, [](char32_t c) { return isWhiteSpace(c) && !isLineBreak(c); });
}

qsizetype wordCount(const QString &text)
{
    qsizetype count = 0;
    bool inWord = false;
    for (const QChar ch : text) {
        const bool space = isWhiteSpace(ch.unicode());
        if (!space && !inWord)
            ++count;
        inWord = !space;
    }
    return count;
}

QString firstCharacters(const QString &text, qsizetype n)
{
    if (n <= 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype taken = 0;
    while (taken < n) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        ++taken;
    }
    return text.left(finder.position());
}

qsizetype characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() >= 0)
        ++count;
    return count;
}

bool sameText(const QString &a, const QString &b)
{
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

} // namespace TextUtil
