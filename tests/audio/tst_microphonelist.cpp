#include "audio/MicrophoneList.h"
#include "platform/PulseContext.h"
#include "support/TestEnv.h"

#include <QMutex>
#include <QtTest>

#include <atomic>

namespace {

// What the fake server lists, changed by the test while the list keeps reading.
struct FakeServer
{
    QMutex lock;
    QList<Microphones::Device> devices;
    std::atomic<int> reads{0};

    MicrophoneList::Query query()
    {
        return [this] {
            ++reads;
            QMutexLocker locker(&lock);
            return devices;
        };
    }
    void set(QList<Microphones::Device> now)
    {
        QMutexLocker locker(&lock);
        devices = std::move(now);
    }
};

Microphones::Device device(const QString &uid)
{
    Microphones::Device d;
    d.uid = uid;
    d.name = uid;
    return d;
}

} // namespace

// The microphone answer a key press gets: the list's last reading, kept
// current by rereading, never a question asked at the press.
class TestMicrophoneList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void presentFollowsTheServer_data()
    {
        QTest::addColumn<QList<Microphones::Device>>("before");
        QTest::addColumn<QList<Microphones::Device>>("after");
        QTest::newRow("a microphone goes (server gone, no news)")
            << QList<Microphones::Device>{device(QStringLiteral("mic"))} << QList<Microphones::Device>{};
        QTest::newRow("a microphone comes (server back, no news)")
            << QList<Microphones::Device>{} << QList<Microphones::Device>{device(QStringLiteral("mic"))};
        QTest::newRow("another microphone")
            << QList<Microphones::Device>{device(QStringLiteral("a"))} << QList<Microphones::Device>{device(QStringLiteral("b"))};
    }

    void presentFollowsTheServer()
    {
        QFETCH(QList<Microphones::Device>, before);
        QFETCH(QList<Microphones::Device>, after);
        FakeServer server;
        server.set(before);
        // Only asked before the list has answered.
        PulseContext pulse;
        // No news ever comes from this server: only rereading notices a change.
        MicrophoneList list(server.query(), [](std::function<void()>) { return false; });
        QVERIFY(!list.answered());
        list.refresh();
        QVERIFY(TestEnv::waitFor([&] { return list.answered(); }));
        QCOMPARE(microphonePresent(&list, pulse), !before.isEmpty());

        // Asking at each press reads nothing.
        const int reads = server.reads.load();
        for (int i = 0; i < 50; ++i)
            QCOMPARE(microphonePresent(&list, pulse), !before.isEmpty());
        QCOMPARE(server.reads.load(), reads);

        QSignalSpy changed(&list, &MicrophoneList::devicesChanged);
        server.set(after);
        list.setRecheckInterval(20);
        QVERIFY(TestEnv::waitFor([&] { return list.devices() == after; }));
        QCOMPARE(microphonePresent(&list, pulse), !after.isEmpty());
        QCOMPARE(changed.count(), 1);

        // Stopped rereading: the answer stays as it was last read.
        list.setRecheckInterval(0);
        QVERIFY(TestEnv::waitFor([&] { return !list.busy(); }));
        server.set(before);
        const int settled = server.reads.load();
        QTest::qWait(100);
        QCOMPARE(server.reads.load(), settled);
        QCOMPARE(list.devices(), after);
    }
};

OMBRY_TEST_MAIN(TestMicrophoneList)
#include "tst_microphonelist.moc"
