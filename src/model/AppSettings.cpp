#include "model/AppSettings.h"


#include "model/Defaults.h"

#include <QApplication>
#include <QJsonArray>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <limits>

namespace {

QJsonValue toJson(bool v) { return v; }
QJsonValue toJson(qint64 v) { return v; }
// JSON numbers hold 53 exact bits as doubles: an unsigned value above the signed
// range is kept exact as the signed integer of the same bits, which reads back
// as the same unsigned value.
QJsonValue toJson(quint64 v) { return qint64(v); }
QJsonValue toJson(const QString &v) { return v; }
QJsonValue toJson(const QStringList &v) { return QJsonArray::fromStringList(v); }
QJsonValue toJson(CorrectionScope v) { return v.rawValue; }
template<typename E, typename = decltype(RawValues<E>::list)>
QJsonValue toJson(E v) { return rawValue(v); }

template<typename E>
void readEnum(const Defaults &d, const char *key, E &field)
{
    if (const auto s = d.string(QLatin1String(key)))
        if (const auto e = fromRawValue<E>(*s))
            field = *e;
}

void readBool(const Defaults &d, const char *key, bool &field)
{
    if (const auto b = d.boolean(QLatin1String(key)))
        field = *b;
}

void readString(const Defaults &d, const char *key, QString &field)
{
    if (const auto s = d.string(QLatin1String(key)))
        field = *s;
}

void readInteger(const Defaults &d, const char *key, qint64 &field)
{
    if (const auto i = d.integer(QLatin1String(key)))
        field = *i;
}

// Any number as its unsigned 64-bit value: an integer by its bits (a negative one
// wraps), other numbers truncated and kept within range.
quint64 unsignedValue(const QJsonValue &v, double d)
{
    constexpr qint64 kNoInteger = std::numeric_limits<qint64>::min();
    const qint64 i = v.toInteger(kNoInteger);
    if (i != kNoInteger || d == -9223372036854775808.0)
        return quint64(i);
    if (d >= 18446744073709551616.0)
        return std::numeric_limits<quint64>::max();
    if (d >= 0)
        return quint64(d);
    if (d < -9223372036854775808.0)
        return quint64(kNoInteger);
    return quint64(qint64(d));
}

} // namespace


AppSettings::AppSettings(Defaults &store, QObject *parent)
    : QObject(parent)
    , d_(store)
{
    readEnum(d_, "key", key_);
    readEnum(d_, "language", language_);
    readBool(d_, "sounds", sounds_);
    readBool(d_, "restoreClipboard", restoreClipboard_);
    if (const auto s = d_.string(QStringLiteral("theme")))
        theme_ = *s == QLatin1String("dark") ? Theme::Dark : Theme::Light;
    readBool(d_, "correctionShortcut", correctionShortcut_);
    readInteger(d_, "correctionKeyCode", correctionKeyCode_);
    if (const auto n = d_.number(QStringLiteral("correctionModifiers")))
        correctionModifiers_ = unsignedValue(d_.object(QStringLiteral("correctionModifiers")), *n);
    readString(d_, "correctionLabel", correctionLabel_);
    readBool(d_, "correctionDoubleCopy", correctionDoubleCopy_);
    readBool(d_, "correctorUsesApple", correctorUsesLocalModel_);
    readString(d_, "translateTarget", translateTarget_);
    if (const auto apps = d_.stringArray(QStringLiteral("translateApps")))
        translateApps_ = *apps;
    readBool(d_, "voiceCommands", voiceCommands_);
    readBool(d_, "adaptTone", adaptTone_);
    readBool(d_, "livePreview", livePreview_);
    readBool(d_, "ownKeyMode", ownKeyMode_);
    microphoneUID_ = d_.string(QStringLiteral("microphoneUID"));
    readEnum(d_, "performanceMode", performanceMode_);
    readBool(d_, "useLanguageTool", useLanguageTool_);
    readEnum(d_, "punctuation", punctuation_);
    qint64 scope = correctionScope_.rawValue;
    readInteger(d_, "correctionScope", scope);
    correctionScope_ = CorrectionScope(scope == 0 ? 15 : scope);
    readInteger(d_, "typingWPM", typingWPM_);
    readEnum(d_, "transcriptionEngine", transcriptionEngine_);
    // Rewriting and reviewing go to the cloud with the user's key; the local model
    // is a choice the user makes (most run no local server).
    rewriteEngine_ = RewriteEngine::OpenRouter;
    readEnum(d_, "rewriteEngine", rewriteEngine_);
    readString(d_, "deepgramModel", deepgramModel_);
    readString(d_, "openRouterModel", openRouterModel_);
}

template<typename T, typename Signal>
void AppSettings::assign(T &field, const T &value, const char *key, Signal changed)
{
    const bool different = !(field == value);
    field = value;
    d_.set(QLatin1String(key), toJson(value));
    if (different)
        Q_EMIT(this->*changed)();
}

void AppSettings::setKey(DictationKey v) { assign(key_, v, "key", &AppSettings::keyChanged); }
void AppSettings::setLanguage(Language v) { assign(language_, v, "language", &AppSettings::languageChanged); }
void AppSettings::setSounds(bool v) { assign(sounds_, v, "sounds", &AppSettings::soundsChanged); }
void AppSettings::setRestoreClipboard(bool v) { assign(restoreClipboard_, v, "restoreClipboard", &AppSettings::restoreClipboardChanged); }
void AppSettings::setTheme(Theme v)
{
    assign(theme_, v, "theme", &AppSettings::themeChanged);
}
void AppSettings::setCorrectionShortcut(bool v) { assign(correctionShortcut_, v, "correctionShortcut", &AppSettings::correctionShortcutChanged); }
void AppSettings::setCorrectionKeyCode(qint64 v) { assign(correctionKeyCode_, v, "correctionKeyCode", &AppSettings::correctionKeyCodeChanged); }
void AppSettings::setCorrectionModifiers(quint64 v) { assign(correctionModifiers_, v, "correctionModifiers", &AppSettings::correctionModifiersChanged); }
void AppSettings::setCorrectionLabel(const QString &v) { assign(correctionLabel_, v, "correctionLabel", &AppSettings::correctionLabelChanged); }
void AppSettings::setCorrectionDoubleCopy(bool v) { assign(correctionDoubleCopy_, v, "correctionDoubleCopy", &AppSettings::correctionDoubleCopyChanged); }
void AppSettings::setCorrectorUsesLocalModel(bool v) { assign(correctorUsesLocalModel_, v, "correctorUsesApple", &AppSettings::correctorUsesLocalModelChanged); }
void AppSettings::setTranslateTarget(const QString &v) { assign(translateTarget_, v, "translateTarget", &AppSettings::translateTargetChanged); }
void AppSettings::setTranslateApps(const QStringList &v) { assign(translateApps_, v, "translateApps", &AppSettings::translateAppsChanged); }
void AppSettings::setVoiceCommands(bool v) { assign(voiceCommands_, v, "voiceCommands", &AppSettings::voiceCommandsChanged); }
void AppSettings::setAdaptTone(bool v) { assign(adaptTone_, v, "adaptTone", &AppSettings::adaptToneChanged); }
void AppSettings::setLivePreview(bool v) { assign(livePreview_, v, "livePreview", &AppSettings::livePreviewChanged); }
void AppSettings::setOwnKeyMode(bool v) { assign(ownKeyMode_, v, "ownKeyMode", &AppSettings::ownKeyModeChanged); }
void AppSettings::setMicrophoneUID(const std::optional<QString> &v)
{
    const bool different = microphoneUID_ != v;
    microphoneUID_ = v;
    if (v)
        d_.set(QStringLiteral("microphoneUID"), *v);
    else
        d_.remove(QStringLiteral("microphoneUID"));
    if (different)
        Q_EMIT microphoneUIDChanged();
}
void AppSettings::setMicrophoneUIDText(const QString &v)
{
    setMicrophoneUID(v.isEmpty() ? std::nullopt : std::optional<QString>(v));
}
void AppSettings::setPerformanceMode(PerformanceMode v) { assign(performanceMode_, v, "performanceMode", &AppSettings::performanceModeChanged); }
void AppSettings::setUseLanguageTool(bool v) { assign(useLanguageTool_, v, "useLanguageTool", &AppSettings::useLanguageToolChanged); }
void AppSettings::setPunctuation(PunctuationLevel v) { assign(punctuation_, v, "punctuation", &AppSettings::punctuationChanged); }
void AppSettings::setCorrectionScope(CorrectionScope v) { assign(correctionScope_, v, "correctionScope", &AppSettings::correctionScopeChanged); }
void AppSettings::setTypingWPM(qint64 v) { assign(typingWPM_, v, "typingWPM", &AppSettings::typingWPMChanged); }
void AppSettings::setTranscriptionEngine(TranscriptionEngine v) { assign(transcriptionEngine_, v, "transcriptionEngine", &AppSettings::transcriptionEngineChanged); }
void AppSettings::setRewriteEngine(RewriteEngine v) { assign(rewriteEngine_, v, "rewriteEngine", &AppSettings::rewriteEngineChanged); }
void AppSettings::setDeepgramModel(const QString &v) { assign(deepgramModel_, v, "deepgramModel", &AppSettings::deepgramModelChanged); }
void AppSettings::setOpenRouterModel(const QString &v) { assign(openRouterModel_, v, "openRouterModel", &AppSettings::openRouterModelChanged); }

const QList<AppSettings::Model> &AppSettings::openRouterModels()
{
    static const QList<Model> models = {
        {QStringLiteral("google/gemini-2.5-flash-lite"), QStringLiteral("Gemini 2.5 Flash Lite"), QStringLiteral("le meilleur rapport, très rapide"), 0.1, 0.4},
        {QStringLiteral("nvidia/nemotron-3-super-120b-a12b:free"), QStringLiteral("Nemotron 3 Super"), QStringLiteral("gratuit, plus lent"), 0, 0},
        {QStringLiteral("google/gemma-4-31b-it:free"), QStringLiteral("Gemma 4 31B"), QStringLiteral("gratuit, souvent saturé"), 0, 0},
        {QStringLiteral("mistralai/mistral-small-3.2-24b-instruct"), QStringLiteral("Mistral Small 3.2"), QStringLiteral("très bon en français"), 0.094, 0.25},
        {QStringLiteral("mistralai/mistral-nemo"), QStringLiteral("Mistral Nemo"), QStringLiteral("le moins cher"), 0.029, 0.03},
        {QStringLiteral("anthropic/claude-haiku-5.5"), QStringLiteral("Claude Haiku 5.5"), QStringLiteral("la meilleure qualité"), 0.1, 0.5},
        {QStringLiteral("openai/gpt-4o-mini"), QStringLiteral("GPT-4o mini"), QString(), 0.15, 0.6},
    };
    return models;
}

const QList<AppSettings::Model> &AppSettings::deepgramModels()
{
    static const QList<Model> models = {
        {QStringLiteral("nova-3"), QStringLiteral("Nova-3"), QStringLiteral("le plus précis"), 0.0043, 0},
        {QStringLiteral("nova-2"), QStringLiteral("Nova-2"), QStringLiteral("ancien modèle"), 0.0043, 0},
    };
    return models;
}

double AppSettings::costPer1000Deepgram(const QString &id)
{
    double price = 0.0043;
    for (const Model &m : deepgramModels())
        if (m.id == id) {
            price = m.priceIn;
            break;
        }
    return price * 0.25 * 1000;
}

std::optional<double> AppSettings::costPer1000OpenRouter(const QString &id)
{
    for (const Model &m : openRouterModels())
        if (m.id == id)
            return (m.priceIn * 350 + m.priceOut * 80) / 1000000 * 1000;
    return std::nullopt;
}
