#include "model/DeviceProfile.h"

#include "model/AppSettings.h"
#include "platform/SystemInfo.h"

#include <cmath>

namespace DeviceProfile {

int roundedGB(qint64 bytes)
{
    return int(std::llround(double(bytes) / 1073741824.0));
}

bool constrainedFor(bool lowPower, SystemInfo::ThermalState thermal)
{
    using SystemInfo::ThermalState;
    return lowPower || thermal == ThermalState::Serious || thermal == ThermalState::Critical;
}

bool lightVisualsFor(PerformanceMode mode, int memoryGB, int cores, const QString &chip,
                     const std::function<bool()> &constrained)
{
    switch (mode) {
    case PerformanceMode::Light:
        return true;
    case PerformanceMode::Full:
        return false;
    case PerformanceMode::Auto:
        break;
    }
    if (memoryGB < 9 || cores < 5 || chip.contains(QLatin1String("Intel"), Qt::CaseSensitive))
        return true;
    return constrained();
}

QString summaryFor(const QString &chip, int memoryGB, int cores)
{
    return chip + QStringLiteral(" · ") + QString::number(memoryGB) + QStringLiteral(" Go · ")
           + QString::number(cores) + QStringLiteral(" cœurs");
}

int memoryGB()
{
    static const int value = roundedGB(SystemInfo::physicalMemoryBytes());
    return value;
}

int cores()
{
    static const int value = SystemInfo::onlineProcessors();
    return value;
}

QString chip()
{
    static const QString value = SystemInfo::processorName();
    return value;
}

bool isConstrained()
{
    if (SystemInfo::lowPowerMode())
        return true;
    return constrainedFor(false, SystemInfo::thermalState());
}

bool lightVisuals()
{
    return lightVisualsFor(AppSettings::shared()->performanceMode(), memoryGB(), cores(), chip(),
                           [] { return isConstrained(); });
}

QString summary()
{
    return summaryFor(chip(), memoryGB(), cores());
}

} // namespace DeviceProfile
