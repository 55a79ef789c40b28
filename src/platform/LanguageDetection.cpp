#include "platform/LanguageDetection.h"

// compact_lang_det.h uses the C stdio types without including them.
#include <cstdio>
#include <compact_lang_det.h>
#include <encodings.h>

namespace LanguageDetection {

namespace {

CLD2::Language hintFor(const QString &code)
{
    if (code == QLatin1String("fr"))
        return CLD2::FRENCH;
    if (code == QLatin1String("en"))
        return CLD2::ENGLISH;
    if (code == QLatin1String("es"))
        return CLD2::SPANISH;
    if (code == QLatin1String("de"))
        return CLD2::GERMAN;
    if (code == QLatin1String("it"))
        return CLD2::ITALIAN;
    return CLD2::UNKNOWN_LANGUAGE;
}

} // namespace

std::optional<QString> dominantLanguage(const QString &text, const QString &prior)
{
    // QString always converts to valid UTF-8 (lone surrogates become U+FFFD).
    const QByteArray utf8 = text.toUtf8();
    if (utf8.trimmed().isEmpty())
        return std::nullopt;
    bool reliable = false;
    int validPrefix = 0;
    CLD2::CLDHints hints{nullptr, nullptr, CLD2::UNKNOWN_ENCODING,
                         hintFor(prior)};
    CLD2::Language top3[3];
    int percent3[3];
    double scores3[3];
    int textBytes = 0;
    const CLD2::Language language = CLD2::ExtDetectLanguageSummaryCheckUTF8(
        utf8.constData(), int(utf8.size()), true, &hints, 0, top3, percent3, scores3, nullptr, &textBytes, &reliable,
        &validPrefix);
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
