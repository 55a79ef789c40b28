#include "platform/LanguageDetection.h"

// compact_lang_det.h uses the C stdio types without including them.
#include <cstdio>
#include <compact_lang_det.h>

namespace LanguageDetection {

std::optional<QString> dominantLanguage(const QString &text)
{
    // QString always converts to valid UTF-8 (lone surrogates become U+FFFD).
    const QByteArray utf8 = text.toUtf8();
    if (utf8.trimmed().isEmpty())
        return std::nullopt;
    bool reliable = false;
    int validPrefix = 0;
    const CLD2::Language language =
        CLD2::DetectLanguageCheckUTF8(utf8.constData(), int(utf8.size()), true, &reliable, &validPrefix);
    if (!reliable || language == CLD2::UNKNOWN_LANGUAGE || language == CLD2::TG_UNKNOWN_LANGUAGE)
        return std::nullopt;
    switch (language) {
    case CLD2::CHINESE:
        return QStringLiteral("zh-Hans");
    case CLD2::CHINESE_T:
        return QStringLiteral("zh-Hant");
    default:
        break;
    }
    const char *code = CLD2::LanguageCode(language);
    if (!code || !*code)
        return std::nullopt;
    return QString::fromLatin1(code);
}

} // namespace LanguageDetection
