#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

class PulseContext;

// The sound server's input devices. A device is named in storage by its uid (the
// source name), never by its index, which changes from one server run to the next.
// Each question goes to the server through `pulse`.
namespace Microphones {

struct Device
{
    quint32 id = 0; // the server's index of the source
    QString uid;    // the source name, stable across runs
    QString name;   // its description as the desktop shows it

    friend bool operator==(const Device &, const Device &) = default;
};

// Every source that is not the monitor of an output, in the server's order; empty
// when the server cannot be reached.
QList<Device> all(PulseContext &pulse);

// The first device of all() with that uid.
std::optional<Device> device(PulseContext &pulse, const QString &uid);

// The uid of the server's default source; none when it cannot be read.
std::optional<QString> defaultUID(PulseContext &pulse);

// The input a recording opens now: `chosen` when it is present, else the server's
// default when it is a microphone, else the first microphone; none without any.
// Never a monitor.
std::optional<QString> resolve(PulseContext &pulse, const std::optional<QString> &chosen);

// Makes the device named by `uid` the current device of `input` (the source a
// recorder opens). Nothing happens without a uid or input, or when no present
// device has that uid.
void select(PulseContext &pulse, const std::optional<QString> &uid, QString *input);

inline size_t qHash(const Device &device, size_t seed = 0)
{
    return qHashMulti(seed, device.id, device.uid, device.name);
}

} // namespace Microphones
