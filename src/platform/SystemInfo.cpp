#include "platform/SystemInfo.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <optional>

#include <unistd.h>

namespace SystemInfo {

namespace {

QByteArray readSmall(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(64 * 1024);
}

std::optional<qint64> readNumber(const QString &path)
{
    bool ok = false;
    const qint64 n = readSmall(path).trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

} // namespace

qint64 physicalMemoryBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return qint64(pages) * qint64(pageSize);
}

int onlineProcessors()
{
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? int(n) : 1;
}

QString processorNameFrom(const QByteArray &cpuinfo)
{
    for (const QByteArray &line : cpuinfo.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != "model name")
            continue;
        return QString::fromUtf8(line.mid(colon + 1).trimmed());
    }
    return {};
}

QString processorName()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // procfs reports no size: read until the end.
    return processorNameFrom(f.readAll());
}

QString powerDaemonProfileFrom(const QByteArray &stateIni)
{
    bool inState = false;
    for (const QByteArray &raw : stateIni.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inState = line == "[State]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inState && eq > 0 && line.left(eq).trimmed() == "Profile")
            return QString::fromUtf8(line.mid(eq + 1).trimmed());
    }
    return {};
}

bool lowPowerMode()
{
    if (readSmall(QStringLiteral("/sys/firmware/acpi/platform_profile")).trimmed() == "low-power")
        return true;
    const QByteArray state = readSmall(QStringLiteral("/var/lib/power-profiles-daemon/state.ini"));
    return powerDaemonProfileFrom(state) == QLatin1String("power-saver");
}

QList<ThermalZone> thermalZones(const QString &root)
{
    QList<ThermalZone> zones;
    const QDir dir(root);
    const QStringList names = dir.entryList({QStringLiteral("thermal_zone*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &name : names) {
        const QString zone = dir.filePath(name);
        const auto temp = readNumber(zone + QStringLiteral("/temp"));
        if (!temp)
            continue;
        ThermalZone z;
        z.temperature = *temp;
        for (int i = 0;; ++i) {
            const QString base = zone + QStringLiteral("/trip_point_%1_").arg(i);
            const QByteArray type = readSmall(base + QStringLiteral("type")).trimmed();
            if (type.isEmpty())
                break;
            if (const auto t = readNumber(base + QStringLiteral("temp")))
                z.trips.append({QString::fromLatin1(type), *t});
        }
        zones.append(z);
    }
    return zones;
}

ThermalState thermalState(const QList<ThermalZone> &zones)
{
    ThermalState worst = ThermalState::Nominal;
    for (const ThermalZone &z : zones)
        for (const auto &[type, temp] : z.trips) {
            // Unused trips often read 0 or less.
            if (temp <= 0 || z.temperature < temp)
                continue;
            ThermalState s = ThermalState::Nominal;
            if (type == QLatin1String("critical"))
                s = ThermalState::Critical;
            else if (type == QLatin1String("hot"))
                s = ThermalState::Serious;
            else if (type == QLatin1String("passive"))
                s = ThermalState::Fair;
            worst = std::max(worst, s);
        }
    return worst;
}

ThermalState thermalState()
{
    return thermalState(thermalZones());
}

} // namespace SystemInfo
