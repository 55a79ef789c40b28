#include "audio/Microphones.h"

#include "platform/PulseContext.h"

#include <algorithm>

namespace {

constexpr int kQueryTimeoutMs = 2000;

QList<Microphones::Device> inputsOf(const Pulse::Sources &sources)
{
    QList<Microphones::Device> devices;
    for (const Pulse::Source &source : sources.list) {
        // Monitors replay what an output plays: they are not microphones.
        if (!source.monitor)
            devices.append({source.index, source.name, source.description});
    }
    return devices;
}

} // namespace

namespace Microphones {

QList<Device> all(PulseContext &pulse)
{
    const std::optional<Pulse::Sources> sources = pulse.sources(kQueryTimeoutMs);
    return sources ? inputsOf(*sources) : QList<Device>();
}

std::optional<Device> device(PulseContext &pulse, const QString &uid)
{
    for (const Device &d : all(pulse)) {
        if (d.uid == uid)
            return d;
    }
    return std::nullopt;
}

std::optional<QString> defaultUID(PulseContext &pulse)
{
    const std::optional<Pulse::Sources> sources = pulse.sources(kQueryTimeoutMs);
    if (!sources || sources->defaultName.isEmpty())
        return std::nullopt;
    return sources->defaultName;
}

std::optional<QString> resolve(PulseContext &pulse, const std::optional<QString> &chosen)
{
    const std::optional<Pulse::Sources> sources = pulse.sources(kQueryTimeoutMs);
    if (!sources)
        return std::nullopt;
    const QList<Device> inputs = inputsOf(*sources);
    auto present = [&inputs](const QString &uid) {
        return std::any_of(inputs.cbegin(), inputs.cend(), [&uid](const Device &d) { return d.uid == uid; });
    };
    if (chosen && present(*chosen))
        return chosen;
    if (present(sources->defaultName))
        return sources->defaultName;
    // The server falls back to a monitor when it knows no microphone; a
    // microphone that is not the default is still better than an output's echo.
    if (!inputs.isEmpty())
        return inputs.first().uid;
    return std::nullopt;
}

void select(PulseContext &pulse, const std::optional<QString> &uid, QString *input)
{
    if (!uid || !input)
        return;
    if (!device(pulse, *uid))
        return;
    *input = *uid;
}

} // namespace Microphones
