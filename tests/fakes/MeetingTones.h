#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cmath>

// Meetings in tests are spoken as tones: the fake model tells a chunk by its tone.
namespace MeetingTones {

inline constexpr int kRate = 16000;

// What the fake model hears in a chunk: one tone per text. 1200 Hz fails, 1500 Hz
// is heard as silence.
inline QString textOfTone(int hz)
{
    switch (hz) {
    case 300:
        return QStringLiteral("Premier morceau.");
    case 600:
        return QStringLiteral("Second morceau !");
    case 900:
        return QStringLiteral("Dernier morceau.");
    }
    return {};
}

// `samples` of 16 kHz mono s16le at `hz`.
inline QByteArray tone(int hz, qint64 samples)
{
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<qint16 *>(pcm.data());
    for (qint64 i = 0; i < samples; ++i)
        out[i] = qToLittleEndian(qint16(8000 * std::sin(2 * M_PI * hz * double(i) / kRate)));
    return pcm;
}

// The tone of a WAV, from its rising zero crossings, rounded to 300 Hz steps; an
// empty one is silence.
inline int toneOf(const QByteArray &wav)
{
    const auto *s = reinterpret_cast<const qint16 *>(wav.constData() + 44);
    const qint64 n = (wav.size() - 44) / 2;
    if (n < 2)
        return 1500;
    qint64 rising = 0;
    for (qint64 i = 1; i < n; ++i)
        if (qFromLittleEndian(s[i - 1]) < 0 && qFromLittleEndian(s[i]) >= 0)
            ++rising;
    const double hz = double(rising) * kRate / double(n);
    return std::max(300, int(std::lround(hz / 300.0)) * 300);
}

} // namespace MeetingTones
