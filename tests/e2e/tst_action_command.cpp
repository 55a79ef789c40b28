#include "shell/SingleInstance.h"
#include "support/TestEnv.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

// `ombry-voice --action NAME` hands NAME to the copy that runs and exits: its
// status and message when no copy runs or NAME is unknown, and never a file
// of its own (a compositor may run it as another account).
using namespace Qt::StringLiterals;

class TestActionCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "run under scripts/session");
    }

    void command_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("received");
        QTest::newRow("lire, copie lancée") << QStringList{u"--action"_s, u"lire"_s} << true << 0 << QString()
                                            << QStringList{u"lire"_s};
        QTest::newRow("dictee-debut, copie lancée") << QStringList{u"--action"_s, u"dictee-debut"_s} << true << 0
                                                    << QString() << QStringList{u"dictee-debut"_s};
        QTest::newRow("aucune copie lancée")
            << QStringList{u"--action"_s, u"lire"_s} << false << 1
            << u"ombry-voice: Ombry Voice n'est pas lancé : l'action « lire » n'a pas été transmise\n"_s << QStringList{};
        QTest::newRow("nom inconnu")
            << QStringList{u"--action"_s, u"dictee"_s} << true << 2
            << u"ombry-voice: action inconnue : « dictee » (actions : dictee-debut, dictee-fin, dictee-basculer, annuler, corriger, traduire, lire, recoller)\n"_s
            << QStringList{};
        QTest::newRow("sans nom") << QStringList{u"--action"_s} << true << 2
                                  << u"ombry-voice: usage : ombry-voice --action NOM\n"_s << QStringList{};
    }

    void command()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, running);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QStringList, received);
        std::unique_ptr<SingleInstance> copy;
        QStringList got;
        if (running) {
            copy = std::make_unique<SingleInstance>(QDBusConnection::sessionBus());
            QCOMPARE(copy->claim(), SingleInstance::Outcome::Primary);
            connect(copy.get(), &SingleInstance::actionRequested, this, [&](const QString &name) { got << name; });
        }
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(name), home.path());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(OMBRY_BINARY), arguments);
        QVERIFY(p.waitForStarted());
        // The running copy answers from this event loop.
        QVERIFY(TestEnv::waitFor([&] { return p.state() == QProcess::NotRunning; }, 15000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), message);
        QCOMPARE(got, received);
        QDirIterator files(home.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        QVERIFY2(!files.hasNext(), qPrintable(files.hasNext() ? files.next() : QString()));
    }

    // Over the bus a name that is not one of ours is an error, not a window shown.
    void overTheBus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("taken");
        QTest::newRow("recoller") << u"recoller"_s << true;
        QTest::newRow("inconnue") << u"ouvrir"_s << false;
        QTest::newRow("vide") << QString() << false;
    }

    void overTheBus()
    {
        QFETCH(QString, name);
        QFETCH(bool, taken);
        SingleInstance copy(QDBusConnection::sessionBus());
        QCOMPARE(copy.claim(), SingleInstance::Outcome::Primary);
        QSignalSpy actions(&copy, &SingleInstance::actionRequested);
        QSignalSpy shown(&copy, &SingleInstance::activated);
        // From a connection of its own: one connection's call to itself is not sent.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"other"_s);
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(SingleInstance::kServiceName),
                                                           QString::fromLatin1(SingleInstance::kObjectPath),
                                                           u"org.freedesktop.Application"_s, u"ActivateAction"_s);
        call << name << QVariantList() << QVariantMap();
        QDBusPendingCall pending = other.asyncCall(call);
        QVERIFY(TestEnv::waitFor([&] { return pending.isFinished(); }));
        QCOMPARE(pending.isError(), !taken);
        if (!taken)
            QCOMPARE(pending.error().type(), QDBusError::InvalidArgs);
        QCOMPARE(actions.size(), taken ? 1 : 0);
        if (taken)
            QCOMPARE(actions.first().first().toString(), name);
        QCOMPARE(shown.size(), 0);
        QDBusConnection::disconnectFromBus(u"other"_s);
    }
};

OMBRY_TEST_MAIN(TestActionCommand)
#include "tst_action_command.moc"
