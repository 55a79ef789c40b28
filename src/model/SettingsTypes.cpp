#include "model/SettingsTypes.h"

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
    case DictationKey::RightOption: return 61;
    case DictationKey::RightCommand: return 54;
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
    case DictationKey::RightOption:
        // AltGr on most European layouts, Alt on the others: the same key.
        return QStringLiteral("Alt droit (AltGr)");
    case DictationKey::RightCommand:
        return QStringLiteral("Super droit");
    case DictationKey::RightControl:
        return QStringLiteral("Ctrl droit");
    case DictationKey::Fn:
        return QStringLiteral("Fn");
    }
    return {};
}
