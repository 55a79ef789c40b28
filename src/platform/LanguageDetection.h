#pragma once

#include <QString>

#include <optional>

// Dominant-language recognition (CLD2).
namespace LanguageDetection {

// The dominant language of `text` as a BCP 47 code ("en", "fr", "zh-Hans",
// "zh-Hant"…); none for an empty text or when the recogniser is not confident.
std::optional<QString> dominantLanguage(const QString &text);

} // namespace LanguageDetection
