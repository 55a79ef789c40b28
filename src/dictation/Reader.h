#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

class QTextToSpeech;

// Reads a text aloud in the voice of the language it is written in
// (QTextToSpeech through speech-dispatcher).
class Reader : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool speaking READ isSpeaking NOTIFY speakingChanged)

public:
    // No default argument: QML would build its own instance with a default
    // constructor instead of asking create() for the application's.
    explicit Reader(QObject *parent);
    static Reader *shared();
    static Reader *create(QQmlEngine *, QJSEngine *);

    // Cuts off any speech and reads `text`. Main thread.
    Q_INVOKABLE void speak(const QString &text);
    // Whether speech is under way (also while it is being started).
    bool isSpeaking() const;
    // Stops at once.
    Q_INVOKABLE void stop();

    QTextToSpeech *synth() const { return synth_; }
    // The locale of the voice chosen for the last text (none: the default voice).
    QString lastLocale() const { return lastLocale_; }

Q_SIGNALS:
    void speakingChanged();

private:
    QTextToSpeech *synth_ = nullptr;
    QString lastLocale_;
    bool starting_ = false;
    bool stopped_ = false;
    quint64 serial_ = 0;
};
