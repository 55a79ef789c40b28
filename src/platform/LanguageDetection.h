#pragma once

#include <QString>

#include <optional>

// Dominant-language recognition (CLD2).
namespace LanguageDetection {

// The dominant language of `text` as a BCP 47 code ("en", "fr", "zh-Hans",
// "zh-Hant"…); none for an empty text or when the recogniser is not confident.
// `prior`, a code such as "fr", is the language a short, ambiguous text most
// likely is (the user's own).
std::optional<QString> dominantLanguage(const QString &text, const QString &prior = {});

} // namespace LanguageDetection
