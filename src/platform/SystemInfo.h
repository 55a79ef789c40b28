#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// What the kernel tells about this computer: memory, processors, energy and heat.
namespace SystemInfo {

// Physical memory in bytes (pages × page size); 0 when unknown.
qint64 physicalMemoryBytes();
// Processors online.
int onlineProcessors();
// The first "model name" of /proc/cpuinfo; empty when absent.
QString processorName();
QString processorNameFrom(const QByteArray &cpuinfo);

// The energy profile: "low-power" of /sys/firmware/acpi/platform_profile, or the
// power-profiles daemon's stored "power-saver".
bool lowPowerMode();
// The "Profile" of the daemon's state file, empty when none.
QString powerDaemonProfileFrom(const QByteArray &stateIni);

// One thermal zone: its temperature and its trip points (type, temperature),
// in millidegrees.
struct ThermalZone
{
    qint64 temperature = 0;
    QList<QPair<QString, qint64>> trips;
};
QList<ThermalZone> thermalZones(const QString &root = QStringLiteral("/sys/class/thermal"));
enum class ThermalState { Nominal, Fair, Serious, Critical };
// The worst zone: at or above a "critical" trip is critical, a "hot" trip serious,
// a "passive" trip (the kernel throttles) fair.
ThermalState thermalState(const QList<ThermalZone> &zones);
ThermalState thermalState();

} // namespace SystemInfo
