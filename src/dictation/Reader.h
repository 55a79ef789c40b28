#pragma once

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QVoice>

#include <optional>

class QTextToSpeech;

// Reads a text aloud in the voice of the language it is written in
// (QTextToSpeech through speech-dispatcher).
class Reader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool speaking READ isSpeaking NOTIFY speakingChanged)

public:
    // What the choice of a voice looks at: its name, the speech server's module
    // that speaks it, its locale.
    struct VoiceInfo
    {
        QString name;
        QString module;
        QLocale locale;
    };
    // How good an installed voice sounds, from the module that speaks it:
    // neural and commercial voices, then diphone voices, then plain formant
    // synthesis, whose "+variant" voices come last.
    static int quality(const VoiceInfo &voice);
    // The voice to read `code`'s language with: of the voices whose locale
    // begins with the code, the one of highest quality, the first of equals;
    // -1 when none.
    static qsizetype bestVoice(const QList<VoiceInfo> &voices, const QString &code);

    // No default argument: QML would build its own instance with a default
    // constructor instead of asking create() for the application's.
    explicit Reader(QObject *parent);

    // Cuts off any speech and reads `text`. Main thread.
    Q_INVOKABLE void speak(const QString &text);
    // Whether speech is under way (also while it is being started).
    bool isSpeaking() const;
    // Stops at once.
    Q_INVOKABLE void stop();

    // The speech engine, made on first use.
    QTextToSpeech *synth();
    // The locale of the voice chosen for the last text (none: the default voice).
    QString lastLocale() const { return lastLocale_; }

Q_SIGNALS:
    void speakingChanged();

private:
    // Picks and sets the voice for a language code; false when none is installed.
    bool useBestVoice(const QString &code);

    QTextToSpeech *synth_ = nullptr;
    // The voice chosen per language code, asked of the speech server once.
    QHash<QString, std::optional<QVoice>> voices_;
    QString lastLocale_;
    bool starting_ = false;
    bool stopped_ = false;
    quint64 serial_ = 0;
};
