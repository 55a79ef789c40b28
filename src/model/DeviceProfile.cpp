#include "model/DeviceProfile.h"

#include "platform/SystemInfo.h"

#include <QElapsedTimer>
#include <QMutex>

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
    // Views ask at every draw, and a thermal zone's temperature can take the
    // firmware milliseconds to read: the answer is kept for one second.
    static QMutex mutex;
    static QElapsedTimer age;
    static bool value = false;
    QMutexLocker lock(&mutex);
    if (!age.isValid() || age.hasExpired(1000)) {
        value = SystemInfo::lowPowerMode() || constrainedFor(false, SystemInfo::thermalState());
        age.start();
    }
    return value;
}

bool lightVisuals(PerformanceMode mode)
{
    return lightVisualsFor(mode, memoryGB(), cores(), chip(),
                           [] { return isConstrained(); });
}

QString summary()
{
    return summaryFor(chip(), memoryGB(), cores());
}

} // namespace DeviceProfile
