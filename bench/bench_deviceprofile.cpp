// Cost of the device profile's live reads (asked by views when they draw) and of
// a key look-up (asked by engines at each request).
#include "model/DeviceProfile.h"
#include "model/KeyStore.h"
#include "platform/SystemInfo.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

// Mean time of one call, in microseconds.
double perCall(int calls, const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i)
        work();
    return double(t.nsecsElapsed()) / 1000.0 / calls;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    StandardData data;

    // A laptop-like tree: 8 zones with 3 trip points each.
    QTemporaryDir root;
    for (int z = 0; z < 8; ++z) {
        const QString zone = root.filePath(QStringLiteral("thermal_zone%1/").arg(z));
        TestEnv::writeFile(zone + QStringLiteral("temp"), "52000\n");
        const char *types[] = {"passive", "hot", "critical"};
        for (int i = 0; i < 3; ++i) {
            TestEnv::writeFile(zone + QStringLiteral("trip_point_%1_type").arg(i), types[i]);
            TestEnv::writeFile(zone + QStringLiteral("trip_point_%1_temp").arg(i), QByteArray::number(85000 + 10000 * i));
        }
    }
    volatile bool sink = false;
    std::printf("thermal state, 8 zones:      %8.1f us/call\n",
                perCall(2000, [&] { sink = SystemInfo::thermalState(SystemInfo::thermalZones(root.path())) != SystemInfo::ThermalState::Nominal; }));
    std::printf("isConstrained, this machine: %8.1f us/call\n",
                perCall(2000, [&] { sink = DeviceProfile::isConstrained(); }));
    std::printf("lightVisuals (auto):         %8.1f us/call\n",
                perCall(2000, [&] { sink = DeviceProfile::lightVisuals(PerformanceMode::Auto); }));

    QTemporaryDir keys;
    KeyStore store(keys.filePath(QStringLiteral("keys.json")));
    if (!store.save(QStringLiteral("sk-or-v1-0123456789"), APIService::OpenRouter))
        std::fprintf(stderr, "keys.json not written\n");
    std::printf("KeyStore::key:               %8.3f us/call\n",
                perCall(200000, [&] { sink = store.key(APIService::OpenRouter).has_value(); }));
    std::printf("KeyStore::save (file write): %8.1f us/call\n",
                perCall(200, [&] { sink = store.save(QStringLiteral("sk-or-v1-abc"), APIService::OpenRouter); }));
    (void)sink;
    return 0;
}
