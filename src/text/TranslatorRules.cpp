#include "text/Translator.h"

#include "platform/LanguageDetection.h"

namespace Translator {

const QList<QPair<QString, QString>> &codes()
{
    static const QList<QPair<QString, QString>> table = {
        {QStringLiteral("anglais"), QStringLiteral("en")},
        {QStringLiteral("français"), QStringLiteral("fr")},
        {QStringLiteral("espagnol"), QStringLiteral("es")},
        {QStringLiteral("allemand"), QStringLiteral("de")},
        {QStringLiteral("italien"), QStringLiteral("it")},
        {QStringLiteral("portugais"), QStringLiteral("pt")},
        {QStringLiteral("néerlandais"), QStringLiteral("nl")},
        {QStringLiteral("japonais"), QStringLiteral("ja")},
        {QStringLiteral("chinois"), QStringLiteral("zh-Hans")},
    };
    return table;
}

std::optional<QString> detect(const QString &text)
{
    // French, the user's language, is the prior: short French is often taken for
    // another language without it.
    const std::optional<QString> code = LanguageDetection::dominantLanguage(text, QStringLiteral("fr"));
    if (!code)
        return std::nullopt;
    if (*code == QLatin1String("zh-Hant"))
        return QStringLiteral("chinois");
    for (const auto &[name, language] : codes())
        if (language == *code)
            return name;
    return std::nullopt;
}

QString resolvedTarget(const QString &text, const QString &target, bool autoReverse)
{
    if (!autoReverse)
        return target;
    const std::optional<QString> detected = detect(text);
    if (detected && *detected == target)
        return target == QStringLiteral("français") ? QStringLiteral("anglais") : QStringLiteral("français");
    return target;
}

QString systemPrompt(const QString &target)
{
    return QStringLiteral("Traduis ce texte en ") + target
           + QStringLiteral(".\nTraduis de façon naturelle, comme l'écrirait quelqu'un dont c'est la langue maternelle : "
                            "garde le ton\n(familier reste familier, l'argot devient de l'argot équivalent), les emojis, "
                            "les noms propres, les liens\net la mise en forme. Renvoie uniquement la traduction, sans "
                            "guillemets ni commentaire.");
}

QString cloudModel(const TextSettings &settings)
{
    return settings.rewriteEngine == RewriteEngine::OpenRouter ? settings.openRouterModel
                                                               : QStringLiteral("google/gemini-2.5-flash-lite");
}

} // namespace Translator
