#include "platform/KeySteps.h"
#include "platform/KeyTable.h"
#include "platform/PortalKeyboard.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <linux/input-event-codes.h>

using namespace Qt::StringLiterals;

namespace {

// A bus of this test's own, so that the fake portal is the only one it sees.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString config = dir_.filePath(u"bus.conf"_s);
        TestEnv::writeFile(config,
                           "<busconfig><type>session</type><listen>unix:tmpdir=" + dir_.path().toUtf8()
                               + "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                 "<allow own=\"*\"/></policy></busconfig>");
        daemon_.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--nofork"_s, u"--print-address=1"_s});
        if (daemon_.waitForStarted(5000)
            && TestEnv::waitFor([this] { return daemon_.canReadLine(); }, 5000))
            address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(u"portal-test"_s);
        daemon_.kill();
        daemon_.waitForFinished(2000);
    }
    QString address() const { return address_; }
    QDBusConnection connect() const { return QDBusConnection::connectToBus(address_, u"portal-test"_s); }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

QStringList keyLines(const QList<KeySteps::Step> &steps)
{
    QStringList lines;
    for (const KeySteps::Step &step : steps)
        lines << u"key %1 %2"_s.arg(step.code).arg(step.down ? 1 : 0);
    return lines;
}

} // namespace

// The RemoteDesktop portal's keyboard against a portal of our own: one consent,
// its restore token kept and handed back, and the keys sent as evdev codes.
class TestPortalKeyboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void asksOnceAndSendsTheKeys_data()
    {
        QTest::addColumn<QString>("stored");   // the token kept from the last run
        QTest::addColumn<QString>("mode");     // how the fake portal answers
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("kept");     // the token kept afterwards
        QTest::addColumn<int>("key");
        QTest::addColumn<quint64>("modifiers");
        QTest::newRow("first run: the user is asked") << QString() << QString() << true << u"jeton-1"_s
                                                       << int(KeyTable::V) << quint64(KeyTable::Control);
        QTest::newRow("kept token: handed back, then replaced")
            << u"jeton-ancien"_s << QString() << true << u"jeton-1"_s << int(KeyTable::V)
            << quint64(KeyTable::Control | KeyTable::Shift);
        QTest::newRow("the user cancels: nothing sent, token kept")
            << u"jeton-ancien"_s << u"refuse"_s << false << u"jeton-ancien"_s << int(KeyTable::V)
            << quint64(KeyTable::Control);
        QTest::newRow("granted without the keyboard") << QString() << u"nokeyboard"_s << false << u"jeton-1"_s
                                                       << int(KeyTable::Insert) << quint64(KeyTable::Shift);
    }
    void asksOnceAndSendsTheKeys()
    {
        QFETCH(QString, stored);
        QFETCH(QString, mode);
        QFETCH(bool, ready);
        QFETCH(QString, kept);
        QFETCH(int, key);
        QFETCH(quint64, modifiers);

        PrivateBus bus;
        QVERIFY(!bus.address().isEmpty());
        QTemporaryDir dir;
        const QString recordPath = dir.filePath(u"portal.txt"_s);
        QProcess portal;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address());
        portal.setProcessEnvironment(env);
        portal.start(QStringLiteral(OMBRY_TEST_BIN_DIR "/fake_remote_desktop"), {recordPath, mode});
        const auto stop = qScopeGuard([&] {
            portal.kill();
            portal.waitForFinished(2000);
        });
        QVERIFY(TestEnv::waitFor([&] { return portal.canReadLine(); }, 5000));
        QCOMPARE(portal.readLine(), "ready\n");

        QString token = stored;
        int saves = 0;
        PortalKeyboard keyboard(bus.connect(), {[&] { return token; }, [&](const QString &t) {
                                                    token = t;
                                                    ++saves;
                                                }});
        QSignalSpy readySpy(&keyboard, &PortalKeyboard::ready);
        QSignalSpy failedSpy(&keyboard, &PortalKeyboard::failed);
        keyboard.start();
        QVERIFY(TestEnv::waitFor([&] { return readySpy.size() + failedSpy.size() > 0; }, 10000));
        QCOMPARE(keyboard.isReady(), ready);
        QCOMPARE(readySpy.size(), ready ? 1 : 0);
        QCOMPARE(token, kept);
        QCOMPARE(saves, kept == stored ? 0 : 1);

        const QList<KeySteps::Step> steps = KeySteps::combination(quint16(key), modifiers);
        QCOMPARE(keyboard.send(steps), ready);
        const QStringList expectedKeys = ready ? keyLines(steps) : QStringList();
        const auto recorded = [&] {
            return QString::fromUtf8(TestEnv::readFile(recordPath)).split(u'\n', Qt::SkipEmptyParts);
        };
        const auto keysOf = [](const QStringList &lines) { return lines.filter(QRegularExpression(u"^key "_s)); };
        if (ready)
            QVERIFY(TestEnv::waitFor([&] { return keysOf(recorded()).size() >= expectedKeys.size(); }, 5000));
        QStringList lines = recorded();
        QCOMPARE(lines.value(0), u"select types=1 persist=2 restore="_s + stored);
        QCOMPARE(keysOf(lines), expectedKeys);
    }
};

QTEST_GUILESS_MAIN(TestPortalKeyboard)
#include "tst_portalkeyboard.moc"
