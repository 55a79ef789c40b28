#pragma once

#include <QString>
#include <QStringList>

// Character-level helpers of the text services. A "character" is a grapheme
// cluster; its properties are those of its first code point.
namespace Chars {

char32_t firstCodePoint(const QString &s);
char32_t lastCluster(const QString &text, QString *cluster = nullptr);

bool isLetter(char32_t c);
bool isNumeric(char32_t c);
bool isUpper(char32_t c);
bool isLower(char32_t c);

// Whether the first character of `text` is upper case (an empty text is not).
bool startsUpper(const QString &text);

// Case- and diacritic-insensitive form with only letters and numeric characters kept.
QString foldedAlphanumerics(const QString &text);
// Only the letters and numeric characters of `text`, unchanged.
QString alphanumerics(const QString &text);

// Whether UTF-16 position `pos` of `text` lies on a grapheme-cluster boundary.
bool isBoundary(const QString &text, qsizetype pos);

} // namespace Chars
