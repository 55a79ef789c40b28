#include "model/AppSettings.h"
#include "model/DeviceProfile.h"
#include "platform/SystemInfo.h"
#include "support/TestEnv.h"

#include <QTemporaryDir>

using SystemInfo::ThermalState;

class TestDeviceProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lightVisualsRule_data()
    {
        QTest::addColumn<PerformanceMode>("mode");
        QTest::addColumn<int>("memory");
        QTest::addColumn<int>("cores");
        QTest::addColumn<QString>("chip");
        QTest::addColumn<bool>("constrained");
        QTest::addColumn<bool>("light");
        QTest::addColumn<bool>("asksConstrained");
        const auto A = PerformanceMode::Auto;
        const QString amd = QStringLiteral("AMD Ryzen 7 7840U");
        QTest::newRow("auto 8 GiB, many cores") << A << 8 << 16 << amd << false << true << false;
        QTest::newRow("auto 16 GiB, 4 cores") << A << 16 << 4 << amd << false << true << false;
        QTest::newRow("auto 16 GiB, 8 cores, calm") << A << 16 << 8 << amd << false << false << true;
        QTest::newRow("auto 16 GiB, 8 cores, constrained") << A << 16 << 8 << amd << true << true << true;
        QTest::newRow("auto Intel") << A << 32 << 16 << QStringLiteral("Intel(R) Core(TM) i7") << false << true << false;
        QTest::newRow("auto lower-case intel") << A << 32 << 16 << QStringLiteral("intel i7") << false << false << true;
        QTest::newRow("auto 9 GiB, 5 cores") << A << 9 << 5 << amd << false << false << true;
        QTest::newRow("auto no chip name") << A << 16 << 8 << QString() << false << false << true;
        QTest::newRow("light on a big machine") << PerformanceMode::Light << 64 << 32 << amd << false << true << false;
        QTest::newRow("full while constrained") << PerformanceMode::Full << 4 << 2 << amd << true << false << false;
    }
    void lightVisualsRule()
    {
        QFETCH(PerformanceMode, mode);
        QFETCH(int, memory);
        QFETCH(int, cores);
        QFETCH(QString, chip);
        QFETCH(bool, constrained);
        QFETCH(bool, light);
        QFETCH(bool, asksConstrained);
        int asked = 0;
        QCOMPARE(DeviceProfile::lightVisualsFor(mode, memory, cores, chip, [&] { ++asked; return constrained; }), light);
        QCOMPARE(asked, asksConstrained ? 1 : 0);
    }

    void constrainedRule_data()
    {
        QTest::addColumn<bool>("lowPower");
        QTest::addColumn<ThermalState>("thermal");
        QTest::addColumn<bool>("constrained");
        QTest::newRow("nominal") << false << ThermalState::Nominal << false;
        QTest::newRow("fair") << false << ThermalState::Fair << false;
        QTest::newRow("serious") << false << ThermalState::Serious << true;
        QTest::newRow("critical") << false << ThermalState::Critical << true;
        QTest::newRow("low power") << true << ThermalState::Nominal << true;
    }
    void constrainedRule()
    {
        QFETCH(bool, lowPower);
        QFETCH(ThermalState, thermal);
        QFETCH(bool, constrained);
        QCOMPARE(DeviceProfile::constrainedFor(lowPower, thermal), constrained);
    }

    void memoryRounding_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<int>("gb");
        const qint64 G = qint64(1) << 30;
        QTest::newRow("8.5 GiB") << (8 * G + G / 2) << 9;
        QTest::newRow("just under 8.5") << (8 * G + G / 2 - 1) << 8;
        QTest::newRow("15.6 GiB") << qint64(15.6 * G) << 16;
        QTest::newRow("unknown") << qint64(0) << 0;
    }
    void memoryRounding()
    {
        QFETCH(qint64, bytes);
        QFETCH(int, gb);
        QCOMPARE(DeviceProfile::roundedGB(bytes), gb);
    }

    void summaryText()
    {
        QCOMPARE(DeviceProfile::summaryFor(QStringLiteral("AMD Ryzen 9"), 16, 10),
                 QStringLiteral("AMD Ryzen 9 · 16 Go · 10 cœurs"));
        QCOMPARE(DeviceProfile::summaryFor(QString(), 8, 4), QStringLiteral(" · 8 Go · 4 cœurs"));
    }

    void processorNameFromCpuinfo_data()
    {
        QTest::addColumn<QByteArray>("cpuinfo");
        QTest::addColumn<QString>("name");
        QTest::newRow("x86") << QByteArray("processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\n"
                                           "\nprocessor\t: 1\nmodel name\t: Other\n")
                             << "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz";
        QTest::newRow("arm without model name") << QByteArray("processor\t: 0\nBogoMIPS\t: 48.00\nCPU implementer\t: 0x41\n") << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("utf-8") << QByteArray("model name : Puce “rapide”\n") << QStringLiteral("Puce “rapide”");
    }
    void processorNameFromCpuinfo()
    {
        QFETCH(QByteArray, cpuinfo);
        QFETCH(QString, name);
        QCOMPARE(SystemInfo::processorNameFrom(cpuinfo), name);
    }

    void powerDaemonState()
    {
        QCOMPARE(SystemInfo::powerDaemonProfileFrom("[State]\nDriver=platform_profile\nProfile=power-saver\n"),
                 QStringLiteral("power-saver"));
        QCOMPARE(SystemInfo::powerDaemonProfileFrom("[Other]\nProfile=power-saver\n[State]\nProfile=balanced\n"),
                 QStringLiteral("balanced"));
        QCOMPARE(SystemInfo::powerDaemonProfileFrom(""), QString());
    }

    void thermalZonesFromSysfs_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<ThermalState>("state");
        QTest::newRow("cool") << QByteArray("45000\n") << ThermalState::Nominal;
        QTest::newRow("passive") << QByteArray("86000\n") << ThermalState::Fair;
        QTest::newRow("hot") << QByteArray("95000\n") << ThermalState::Serious;
        QTest::newRow("critical") << QByteArray("105000\n") << ThermalState::Critical;
        QTest::newRow("unreadable") << QByteArray("?\n") << ThermalState::Nominal;
    }
    void thermalZonesFromSysfs()
    {
        QFETCH(QByteArray, temp);
        QFETCH(ThermalState, state);
        QTemporaryDir root;
        const auto put = [&](const QString &rel, const QByteArray &data) {
            QVERIFY(TestEnv::writeFile(root.filePath(rel), data));
        };
        // A calm zone, a zone whose unused trip reads 0, and the zone under test.
        put(QStringLiteral("thermal_zone0/temp"), "30000\n");
        put(QStringLiteral("thermal_zone0/trip_point_0_type"), "critical\n");
        put(QStringLiteral("thermal_zone0/trip_point_0_temp"), "100000\n");
        put(QStringLiteral("thermal_zone1/temp"), "50000\n");
        put(QStringLiteral("thermal_zone1/trip_point_0_type"), "hot\n");
        put(QStringLiteral("thermal_zone1/trip_point_0_temp"), "0\n");
        put(QStringLiteral("thermal_zone2/temp"), temp);
        put(QStringLiteral("thermal_zone2/trip_point_0_type"), "passive\n");
        put(QStringLiteral("thermal_zone2/trip_point_0_temp"), "85000\n");
        put(QStringLiteral("thermal_zone2/trip_point_1_type"), "hot\n");
        put(QStringLiteral("thermal_zone2/trip_point_1_temp"), "95000\n");
        put(QStringLiteral("thermal_zone2/trip_point_2_type"), "critical\n");
        put(QStringLiteral("thermal_zone2/trip_point_2_temp"), "105000\n");
        put(QStringLiteral("cooling_device0/type"), "Processor\n");
        QCOMPARE(SystemInfo::thermalState(SystemInfo::thermalZones(root.path())), state);
    }

    void liveValuesDescribeThisComputer()
    {
        QVERIFY(DeviceProfile::memoryGB() > 0);
        QVERIFY(DeviceProfile::cores() >= 1);
        QCOMPARE(DeviceProfile::summary(), DeviceProfile::summaryFor(DeviceProfile::chip(), DeviceProfile::memoryGB(), DeviceProfile::cores()));
        QVERIFY(DeviceProfile::summary().endsWith(QStringLiteral(" cœurs")));
        QVERIFY(DeviceProfile::lightVisuals(PerformanceMode::Light));
        QVERIFY(!DeviceProfile::lightVisuals(PerformanceMode::Full));
    }
};

OMBRY_TEST_MAIN(TestDeviceProfile)
#include "tst_deviceprofile.moc"
