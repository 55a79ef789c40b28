#pragma once

#include <QList>
#include <QMetaEnum>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

// The value types of the settings. Each enum is stored by its raw value string;
// parsing is exact and case-sensitive.
namespace Ombry {
Q_NAMESPACE

enum class DictationKey { RightAlt, RightSuper, RightControl, Fn };
Q_ENUM_NS(DictationKey)

enum class Language { Auto, Fr, En, Es, De, It };
Q_ENUM_NS(Language)

enum class TranscriptionEngine { Gemini, Local, Deepgram };
Q_ENUM_NS(TranscriptionEngine)

enum class RewriteEngine { Local, OpenRouter, None };
Q_ENUM_NS(RewriteEngine)

enum class PunctuationLevel { Light, Normal, Full };
Q_ENUM_NS(PunctuationLevel)

enum class PerformanceMode { Auto, Light, Full };
Q_ENUM_NS(PerformanceMode)

enum class Theme { Light, Dark };
Q_ENUM_NS(Theme)

// How a dictation key is named to the user, as the desktop names it: "Ctrl droit".
QString label(DictationKey key);

} // namespace Ombry

using Ombry::DictationKey;
using Ombry::Language;
using Ombry::PerformanceMode;
using Ombry::PunctuationLevel;
using Ombry::RewriteEngine;
using Ombry::Theme;
using Ombry::TranscriptionEngine;

// Raw values, in declared order, for each enum: the names stored files hold,
// kept when a value is renamed in the code.
template<typename E> struct RawValues;
template<> struct RawValues<DictationKey> { static constexpr const char *list[] = {"rightOption", "rightCommand", "rightControl", "fn"}; };
template<> struct RawValues<Language> { static constexpr const char *list[] = {"auto", "fr", "en", "es", "de", "it"}; };
template<> struct RawValues<TranscriptionEngine> { static constexpr const char *list[] = {"gemini", "apple", "deepgram"}; };
template<> struct RawValues<RewriteEngine> { static constexpr const char *list[] = {"apple", "openRouter", "none"}; };
template<> struct RawValues<PunctuationLevel> { static constexpr const char *list[] = {"light", "normal", "full"}; };
template<> struct RawValues<PerformanceMode> { static constexpr const char *list[] = {"auto", "light", "full"}; };
template<> struct RawValues<Theme> { static constexpr const char *list[] = {"light", "dark"}; };

template<typename E>
QString rawValue(E value)
{
    return QString::fromLatin1(RawValues<E>::list[int(value)]);
}

// The case whose raw value equals `raw` exactly, or none.
template<typename E>
std::optional<E> fromRawValue(const QString &raw)
{
    int i = 0;
    for (const char *candidate : RawValues<E>::list) {
        if (raw == QLatin1String(candidate))
            return E(i);
        ++i;
    }
    return std::nullopt;
}

template<typename E>
QList<E> allCases()
{
    QList<E> out;
    for (int i = 0; i < int(std::size(RawValues<E>::list)); ++i)
        out.append(E(i));
    return out;
}

// The language's French name in the prompts ("français"; when automatic,
// the spoken language, never translated).
QString promptName(Language language);
// Two-letter code handed to the engines ("fr" when automatic).
QString localeCode(Language language);
// Deepgram's "language" value ("multi" when automatic).
QString deepgramCode(Language language);
// Key code of the dictation key (61, 54, 62, 63).
int keyCode(DictationKey key);

// The kinds of fault the corrector may fix, as bits of one integer.
struct CorrectionScope
{
    qint64 rawValue = 0;

    static constexpr qint64 spelling = 1;
    static constexpr qint64 grammar = 2;     // also agreement and conjugation
    static constexpr qint64 punctuation = 4;
    static constexpr qint64 typography = 8;  // capitals and spacing
    static constexpr qint64 style = 16;

    constexpr CorrectionScope() = default;
    constexpr explicit CorrectionScope(qint64 raw) : rawValue(raw) {}

    constexpr bool contains(qint64 member) const { return (rawValue & member) == member; }
    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr void insert(qint64 member) { rawValue |= member; }
    constexpr void remove(qint64 member) { rawValue &= ~member; }
    constexpr CorrectionScope operator|(CorrectionScope o) const { return CorrectionScope(rawValue | o.rawValue); }
    constexpr CorrectionScope operator&(CorrectionScope o) const { return CorrectionScope(rawValue & o.rawValue); }
    constexpr CorrectionScope operator^(CorrectionScope o) const { return CorrectionScope(rawValue ^ o.rawValue); }
    constexpr CorrectionScope subtracting(CorrectionScope o) const { return CorrectionScope(rawValue & ~o.rawValue); }
    constexpr bool isSubset(CorrectionScope o) const { return (rawValue & ~o.rawValue) == 0; }
    constexpr bool isDisjoint(CorrectionScope o) const { return (rawValue & o.rawValue) == 0; }
    constexpr bool operator==(const CorrectionScope &) const = default;

    // The five members with their French labels, in bit order.
    static QList<std::pair<qint64, QString>> all();
};
