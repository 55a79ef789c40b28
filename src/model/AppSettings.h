#pragma once

#include "model/SettingsTypes.h"

#include <QObject>
#include <QStringList>

#include <optional>

class Defaults;

// Every user preference. Each property is read once from the defaults store at
// creation (the default when absent, mistyped or unknown) and written back under
// its own key at every assignment, also when the value does not change.
class AppSettings final : public QObject
{
    Q_OBJECT

    Q_PROPERTY(Ombry::DictationKey key READ key WRITE setKey NOTIFY keyChanged)
    Q_PROPERTY(QString keyLabel READ keyLabel NOTIFY keyChanged)
    Q_PROPERTY(Ombry::Language language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(bool sounds READ sounds WRITE setSounds NOTIFY soundsChanged)
    Q_PROPERTY(bool restoreClipboard READ restoreClipboard WRITE setRestoreClipboard NOTIFY restoreClipboardChanged)
    Q_PROPERTY(Ombry::Theme theme READ theme WRITE setTheme NOTIFY themeChanged)
    Q_PROPERTY(bool correctionShortcut READ correctionShortcut WRITE setCorrectionShortcut NOTIFY correctionShortcutChanged)
    Q_PROPERTY(qint64 correctionKeyCode READ correctionKeyCode WRITE setCorrectionKeyCode NOTIFY correctionKeyCodeChanged)
    Q_PROPERTY(quint64 correctionModifiers READ correctionModifiers WRITE setCorrectionModifiers NOTIFY correctionModifiersChanged)
    Q_PROPERTY(QString correctionLabel READ correctionLabel WRITE setCorrectionLabel NOTIFY correctionLabelChanged)
    Q_PROPERTY(bool correctionDoubleCopy READ correctionDoubleCopy WRITE setCorrectionDoubleCopy NOTIFY correctionDoubleCopyChanged)
    Q_PROPERTY(bool correctorUsesLocalModel READ correctorUsesLocalModel WRITE setCorrectorUsesLocalModel NOTIFY correctorUsesLocalModelChanged)
    Q_PROPERTY(QString translateTarget READ translateTarget WRITE setTranslateTarget NOTIFY translateTargetChanged)
    Q_PROPERTY(QStringList translateApps READ translateApps WRITE setTranslateApps NOTIFY translateAppsChanged)
    Q_PROPERTY(bool voiceCommands READ voiceCommands WRITE setVoiceCommands NOTIFY voiceCommandsChanged)
    Q_PROPERTY(bool adaptTone READ adaptTone WRITE setAdaptTone NOTIFY adaptToneChanged)
    Q_PROPERTY(bool livePreview READ livePreview WRITE setLivePreview NOTIFY livePreviewChanged)
    Q_PROPERTY(bool ownKeyMode READ ownKeyMode WRITE setOwnKeyMode NOTIFY ownKeyModeChanged)
    // Empty in QML stands for "the system default input".
    Q_PROPERTY(QString microphoneUID READ microphoneUIDText WRITE setMicrophoneUIDText NOTIFY microphoneUIDChanged)
    Q_PROPERTY(Ombry::PerformanceMode performanceMode READ performanceMode WRITE setPerformanceMode NOTIFY performanceModeChanged)
    Q_PROPERTY(bool useLanguageTool READ useLanguageTool WRITE setUseLanguageTool NOTIFY useLanguageToolChanged)
    Q_PROPERTY(Ombry::PunctuationLevel punctuation READ punctuation WRITE setPunctuation NOTIFY punctuationChanged)
    Q_PROPERTY(qint64 correctionScope READ correctionScopeRaw WRITE setCorrectionScopeRaw NOTIFY correctionScopeChanged)
    Q_PROPERTY(qint64 typingWPM READ typingWPM WRITE setTypingWPM NOTIFY typingWPMChanged)
    Q_PROPERTY(Ombry::TranscriptionEngine transcriptionEngine READ transcriptionEngine WRITE setTranscriptionEngine NOTIFY transcriptionEngineChanged)
    Q_PROPERTY(Ombry::RewriteEngine rewriteEngine READ rewriteEngine WRITE setRewriteEngine NOTIFY rewriteEngineChanged)
    Q_PROPERTY(QString deepgramModel READ deepgramModel WRITE setDeepgramModel NOTIFY deepgramModelChanged)
    Q_PROPERTY(QString openRouterModel READ openRouterModel WRITE setOpenRouterModel NOTIFY openRouterModelChanged)

public:
    // One selectable model and its prices (per million tokens; per audio minute
    // for speech models).
    struct Model
    {
        QString id;
        QString name;
        QString note;
        double priceIn = 0;
        double priceOut = 0;
    };

    // Reads every key of `store` once. The program's uses the standard store.
    explicit AppSettings(Defaults &store, QObject *parent = nullptr);

    static const QList<Model> &openRouterModels();
    static const QList<Model> &deepgramModels();
    // Estimated cost in US dollars of 1000 dictations.
    static double costPer1000Deepgram(const QString &id);
    static std::optional<double> costPer1000OpenRouter(const QString &id);

    DictationKey key() const { return key_; }
    QString keyLabel() const { return Ombry::label(key_); }
    Language language() const { return language_; }
    bool sounds() const { return sounds_; }
    bool restoreClipboard() const { return restoreClipboard_; }
    Theme theme() const { return theme_; }
    bool correctionShortcut() const { return correctionShortcut_; }
    qint64 correctionKeyCode() const { return correctionKeyCode_; }
    quint64 correctionModifiers() const { return correctionModifiers_; }
    QString correctionLabel() const { return correctionLabel_; }
    bool correctionDoubleCopy() const { return correctionDoubleCopy_; }
    bool correctorUsesLocalModel() const { return correctorUsesLocalModel_; }
    QString translateTarget() const { return translateTarget_; }
    QStringList translateApps() const { return translateApps_; }
    bool voiceCommands() const { return voiceCommands_; }
    bool adaptTone() const { return adaptTone_; }
    bool livePreview() const { return livePreview_; }
    bool ownKeyMode() const { return ownKeyMode_; }
    std::optional<QString> microphoneUID() const { return microphoneUID_; }
    QString microphoneUIDText() const { return microphoneUID_.value_or(QString()); }
    PerformanceMode performanceMode() const { return performanceMode_; }
    bool useLanguageTool() const { return useLanguageTool_; }
    PunctuationLevel punctuation() const { return punctuation_; }
    CorrectionScope correctionScope() const { return correctionScope_; }
    qint64 correctionScopeRaw() const { return correctionScope_.rawValue; }
    qint64 typingWPM() const { return typingWPM_; }
    TranscriptionEngine transcriptionEngine() const { return transcriptionEngine_; }
    RewriteEngine rewriteEngine() const { return rewriteEngine_; }
    QString deepgramModel() const { return deepgramModel_; }
    QString openRouterModel() const { return openRouterModel_; }

    void setKey(DictationKey value);
    void setLanguage(Language value);
    void setSounds(bool value);
    void setRestoreClipboard(bool value);
    void setTheme(Theme value);
    void setCorrectionShortcut(bool value);
    void setCorrectionKeyCode(qint64 value);
    void setCorrectionModifiers(quint64 value);
    void setCorrectionLabel(const QString &value);
    void setCorrectionDoubleCopy(bool value);
    void setCorrectorUsesLocalModel(bool value);
    void setTranslateTarget(const QString &value);
    void setTranslateApps(const QStringList &value);
    void setVoiceCommands(bool value);
    void setAdaptTone(bool value);
    void setLivePreview(bool value);
    void setOwnKeyMode(bool value);
    void setMicrophoneUID(const std::optional<QString> &value);
    void setMicrophoneUIDText(const QString &value);
    void setPerformanceMode(PerformanceMode value);
    void setUseLanguageTool(bool value);
    void setPunctuation(PunctuationLevel value);
    void setCorrectionScope(CorrectionScope value);
    void setCorrectionScopeRaw(qint64 value) { setCorrectionScope(CorrectionScope(value)); }
    void setTypingWPM(qint64 value);
    void setTranscriptionEngine(TranscriptionEngine value);
    void setRewriteEngine(RewriteEngine value);
    void setDeepgramModel(const QString &value);
    void setOpenRouterModel(const QString &value);

Q_SIGNALS:
    void keyChanged();
    void languageChanged();
    void soundsChanged();
    void restoreClipboardChanged();
    void themeChanged();
    void correctionShortcutChanged();
    void correctionKeyCodeChanged();
    void correctionModifiersChanged();
    void correctionLabelChanged();
    void correctionDoubleCopyChanged();
    void correctorUsesLocalModelChanged();
    void translateTargetChanged();
    void translateAppsChanged();
    void voiceCommandsChanged();
    void adaptToneChanged();
    void livePreviewChanged();
    void ownKeyModeChanged();
    void microphoneUIDChanged();
    void performanceModeChanged();
    void useLanguageToolChanged();
    void punctuationChanged();
    void correctionScopeChanged();
    void typingWPMChanged();
    void transcriptionEngineChanged();
    void rewriteEngineChanged();
    void deepgramModelChanged();
    void openRouterModelChanged();

private:
    template<typename T, typename Signal>
    void assign(T &field, const T &value, const char *key, Signal changed);

    Defaults &d_;
    DictationKey key_ = DictationKey::RightControl;
    Language language_ = Language::Fr;
    bool sounds_ = true;
    bool restoreClipboard_ = true;
    Theme theme_ = Theme::Light;
    bool correctionShortcut_ = true;
    qint64 correctionKeyCode_ = 8;
    quint64 correctionModifiers_ = 0xC0000;
    QString correctionLabel_ = QStringLiteral("⌃⌥C");
    bool correctionDoubleCopy_ = true;
    bool correctorUsesLocalModel_ = true;
    QString translateTarget_ = QStringLiteral("anglais");
    QStringList translateApps_;
    bool voiceCommands_ = true;
    bool adaptTone_ = true;
    bool livePreview_ = false;
    bool ownKeyMode_ = false;
    std::optional<QString> microphoneUID_;
    PerformanceMode performanceMode_ = PerformanceMode::Auto;
    bool useLanguageTool_ = true;
    PunctuationLevel punctuation_ = PunctuationLevel::Light;
    CorrectionScope correctionScope_{15};
    qint64 typingWPM_ = 40;
    TranscriptionEngine transcriptionEngine_ = TranscriptionEngine::Gemini;
    RewriteEngine rewriteEngine_ = RewriteEngine::Local;
    QString deepgramModel_ = QStringLiteral("nova-3");
    QString openRouterModel_ = QStringLiteral("mistralai/mistral-small-3.2-24b-instruct");
};
