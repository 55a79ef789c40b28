#pragma once

#include <QString>

// Small text helpers shared by every module.
namespace TextUtil {

// Trims white space and line breaks (every Unicode White_Space character).
QString trimmed(const QString &text);
// Trims spaces and tabs only.
QString trimmedSpaces(const QString &text);
// Trims blanks (horizontal white space) but not line breaks.
QString trimmedBlanks(const QString &text);

// Number of pieces of `text` split at every white-space or line-break character,
// empty pieces dropped.
qsizetype wordCount(const QString &text);

// The first `n` user-perceived characters (grapheme clusters) of `text`.
QString firstCharacters(const QString &text, qsizetype n);
// Number of grapheme clusters.
qsizetype characterCount(const QString &text);

// Equality after NFC normalisation.
bool sameText(const QString &a, const QString &b);

// Whether `c` is a Unicode White_Space character (line breaks included).
bool isWhiteSpace(char32_t c);
// Whether `c` is a line break (LF, VT, FF, CR, NEL, LS, PS).
bool isLineBreak(char32_t c);

} // namespace TextUtil
