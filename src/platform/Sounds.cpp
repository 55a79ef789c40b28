#include "platform/Sounds.h"

#include <QCoreApplication>
#include <QHash>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QPointer>
#include <QtEndian>

#include <cmath>
#include <memory>

namespace Sounds {
namespace {

constexpr int kRate = 44100;

std::function<void(const QString &)> gObserver;

QByteArray header(qsizetype pcmBytes)
{
    QByteArray h(44, 0);
    auto *p = reinterpret_cast<uchar *>(h.data());
    memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(quint32(pcmBytes + 36), p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20);
    qToLittleEndian<quint16>(1, p + 22);
    qToLittleEndian<quint32>(kRate, p + 24);
    qToLittleEndian<quint32>(kRate * 2, p + 28);
    qToLittleEndian<quint16>(2, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(quint32(pcmBytes), p + 40);
    return h;
}

// `sample(t)` in -1…1 for t in seconds; a 4 ms fade-in avoids a click.
template<typename F>
QByteArray render(double seconds, F sample)
{
    const int n = int(seconds * kRate);
    QByteArray pcm(n * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<uchar *>(pcm.data());
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double fade = std::min(1.0, t / 0.004);
        const double v = std::clamp(sample(t) * fade, -1.0, 1.0);
        qToLittleEndian<qint16>(qint16(std::lround(v * 32767 * 0.5)), out + 2 * i);
    }
    return header(pcm.size()) + pcm;
}

QByteArray synthesise(const QString &name)
{
    if (name == QLatin1String("Tink")) // a light, high ping
        return render(0.18, [](double t) {
            return std::exp(-t * 28) * (std::sin(2 * M_PI * 2093 * t) + 0.35 * std::sin(2 * M_PI * 4186 * t));
        });
    if (name == QLatin1String("Pop")) // a short, falling bubble
        return render(0.09, [](double t) {
            const double f = 900 - 5000 * t;
            return std::exp(-t * 45) * std::sin(2 * M_PI * f * t);
        });
    if (name == QLatin1String("Basso")) // a low, dull buzz
        return render(0.38, [](double t) {
            const double env = std::exp(-t * 7);
            double v = 0;
            for (int k = 1; k <= 5; k += 2)
                v += std::sin(2 * M_PI * 130 * k * t) / k;
            return env * 0.8 * v;
        });
    return {};
}

// Each sound keeps one output stream fed from memory. (QSoundEffect loads its
// file on a thread of its own that can still be running when the process exits,
// which crashes in Qt 6.4.)
struct Voice
{
    QByteArray pcm;
    QBuffer buffer;
    std::unique_ptr<QAudioSink> sink;
};

class Player : public QObject
{
public:
    Player()
    {
        // Streams are closed while the application still runs, not during exit.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            qDeleteAll(voices_);
            voices_.clear();
        });
    }

    void play(const QString &name)
    {
        Voice *voice = this->voice(name);
        if (!voice)
            return;
        voice->sink->stop();
        voice->buffer.seek(0);
        voice->sink->start(&voice->buffer);
    }

    Voice *voice(const QString &name)
    {
        if (Voice *v = voices_.value(name))
            return v;
        const QByteArray data = synthesise(name);
        if (data.isEmpty())
            return nullptr;
        QAudioFormat format;
        format.setSampleRate(kRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        auto *v = new Voice;
        v->pcm = data.mid(44);
        v->buffer.setBuffer(&v->pcm);
        v->buffer.open(QIODevice::ReadOnly);
        v->sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
        v->sink->setVolume(0.6);
        voices_.insert(name, v);
        return v;
    }

private:
    QHash<QString, Voice *> voices_;
};

} // namespace

QByteArray wav(const QString &name)
{
    return synthesise(name);
}

void setObserver(std::function<void(const QString &)> observer)
{
    gObserver = std::move(observer);
}

Player *player()
{
    static QPointer<Player> instance;
    if (!instance && QCoreApplication::instance()) {
        instance = new Player;
        instance->setParent(QCoreApplication::instance());
    }
    return instance;
}

void preload()
{
    if (!QCoreApplication::instance())
        return;
    for (const char *name : {"Tink", "Pop", "Basso"})
        player()->voice(QString::fromLatin1(name));
}

void play(const QString &name)
{
    if (gObserver)
        gObserver(name);
    if (!QCoreApplication::instance())
        return;
    player()->play(name);
}

} // namespace Sounds
