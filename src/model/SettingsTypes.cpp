#include "model/SettingsTypes.h"

QString promptName(Language language)
{
    switch (language) {
    case Language::Auto:
        return QStringLiteral("la langue parlée (français, anglais ou autre, sans jamais traduire)");
    case Language::Fr:
        return QStringLiteral("français");
    case Language::En:
        return QStringLiteral("anglais");
    case Language::Es:
        return QStringLiteral("espagnol");
    case Language::De:
        return QStringLiteral("allemand");
    case Language::It:
        return QStringLiteral("italien");
    }
    return QStringLiteral("français");
}

QString localeCode(Language language)
{
    return language == Language::Auto ? QStringLiteral("fr") : rawValue(language);
}

QString deepgramCode(Language language)
{
    return language == Language::Auto ? QStringLiteral("multi") : rawValue(language);
}

int keyCode(DictationKey key)
{
    switch (key) {
    case DictationKey::RightAlt: return 61;
    case DictationKey::RightSuper: return 54;
    case DictationKey::RightControl: return 62;
    case DictationKey::Fn: return 63;
    }
    return 62;
}

QList<std::pair<qint64, QString>> CorrectionScope::all()
{
    return {
        {spelling, QStringLiteral("Orthographe")},
        {grammar, QStringLiteral("Grammaire et accords")},
        {punctuation, QStringLiteral("Ponctuation")},
        {typography, QStringLiteral("Majuscules et espaces")},
        {style, QStringLiteral("Style plus fluide")},
    };
}

QString Ombry::label(DictationKey key)
{
    switch (key) {
    case DictationKey::RightAlt:
        // AltGr on most European layouts, Alt on the others: the same key.
        return QStringLiteral("Alt droit (AltGr)");
    case DictationKey::RightSuper:
        return QStringLiteral("Super droit");
    case DictationKey::RightControl:
        return QStringLiteral("Ctrl droit");
    case DictationKey::Fn:
        return QStringLiteral("Fn");
    }
    return {};
}
