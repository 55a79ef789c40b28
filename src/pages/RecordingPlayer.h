#pragma once

#include <QAudioFormat>
#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

class QAudioSink;

// Replays one kept recording at a time from memory through the sound server; a new
// replay cuts the previous one off. Only 16-bit PCM WAV files are played: anything
// else is refused (and still stops what was playing).
class RecordingPlayer final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)

public:
    explicit RecordingPlayer(QObject *parent = nullptr);
    ~RecordingPlayer() override;

    // A WAV file's samples and their format.
    struct Pcm
    {
        QAudioFormat format;
        QByteArray samples;
    };
    // Reads a RIFF/WAVE file of 16-bit integer PCM (1 or 2 channels, any rate); none for
    // anything else or a file cut before its sample data.
    static std::optional<Pcm> decode(const QByteArray &wav);

    // Plays the local file at `url`; false when it could not be read or decoded.
    bool play(const QUrl &url);
    void stop();
    bool playing() const { return playing_; }

Q_SIGNALS:
    void playingChanged();

private:
    void setPlaying(bool on);

    QByteArray samples_;
    QBuffer buffer_;
    std::unique_ptr<QAudioSink> sink_;
    bool playing_ = false;
};
