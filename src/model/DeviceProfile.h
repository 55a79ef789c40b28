#pragma once

#include "model/SettingsTypes.h"
#include "platform/SystemInfo.h"

#include <QString>

#include <functional>

// The computer the program runs on, and whether the interface should draw its
// visual effects light. Values are read from the main thread by views.
namespace DeviceProfile {

// Measured once per process.
int memoryGB();
int cores();
QString chip();

// Low-power profile, or a serious or critical thermal state; read again when
// the last reading is more than a second old.
bool isConstrained();
// By the settings' performance mode, given by the caller, and the values above.
bool lightVisuals(PerformanceMode mode);
// "<chip> · 16 Go · 10 cœurs".
QString summary();

// The rules behind the values, for given facts.
int roundedGB(qint64 bytes);
// Serious and critical heat count; nominal and fair do not.
bool constrainedFor(bool lowPower, SystemInfo::ThermalState thermal);
// `constrained` is asked only when every other test leaves the choice open.
bool lightVisualsFor(PerformanceMode mode, int memoryGB, int cores, const QString &chip,
                     const std::function<bool()> &constrained);
QString summaryFor(const QString &chip, int memoryGB, int cores);

} // namespace DeviceProfile
