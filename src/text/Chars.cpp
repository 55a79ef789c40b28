#include "text/Chars.h"

#include <QTextBoundaryFinder>

namespace Chars {

char32_t firstCodePoint(const QString &s)
{
    if (s.isEmpty())
        return 0;
    if (s.size() > 1 && s.at(0).isHighSurrogate() && s.at(1).isLowSurrogate())
        return QChar::surrogateToUcs4(s.at(0), s.at(1));
    return s.at(0).unicode();
}

char32_t lastCluster(const QString &text, QString *cluster)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    const qsizetype start = finder.toPreviousBoundary();
    const QString last = text.mid(start < 0 ? 0 : start);
    if (cluster)
        *cluster = last;
    return firstCodePoint(last);
}

bool isLetter(char32_t c)
{
    return QChar::isLetter(c);
}

bool isNumeric(char32_t c)
{
    // Digits, letter-like numbers (Ⅻ) and other numbers (½, ²).
    return QChar::isNumber(c);
}

bool isUpper(char32_t c)
{
    return QChar::isUpper(c) || QChar::category(c) == QChar::Letter_Titlecase;
}

bool isLower(char32_t c)
{
    return QChar::isLower(c);
}

bool startsUpper(const QString &text)
{
    return !text.isEmpty() && isUpper(firstCodePoint(text));
}

QString foldedAlphanumerics(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const char32_t c : decomposed.toUcs4()) {
        if (QChar::category(c) == QChar::Mark_NonSpacing)
            continue;
        if (!isLetter(c) && !isNumeric(c))
            continue;
        out.append(QString::fromUcs4(&c, 1));
    }
    return out.toCaseFolded();
}

QString alphanumerics(const QString &text)
{
    // Whole characters, so that a letter keeps its combining accents.
    QString out;
    out.reserve(text.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) {
        const QStringView cluster = QStringView(text).mid(from, next - from);
        const char32_t c = cluster.isEmpty() ? 0 : QStringView(cluster).toUcs4().value(0);
        if (isLetter(c) || isNumeric(c))
            out.append(cluster);
        from = next;
    }
    return out;
}

bool isBoundary(const QString &text, qsizetype pos)
{
    if (pos < 0 || pos > text.size())
        return false;
    if (pos == 0 || pos == text.size())
        return true;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(pos);
    return finder.isAtBoundary();
}

} // namespace Chars
