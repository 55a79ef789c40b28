#include "support/TestEnv.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

// The application started without a switch on the private desktop: it comes up,
// describes the machine in its log, and quits cleanly on a termination signal.
class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsAndQuitsOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void startsAndQuitsOnSignal()
    {
        QFETCH(int, signal);
        ScopedHome home;
        const QString dataFolder = home.path() + QStringLiteral("/.local/share/Ombry Voice");
        const QString log = dataFolder + QStringLiteral("/journal.log");
        // A former data folder is moved into place before anything reads it.
        QVERIFY(TestEnv::writeFile(home.path() + QStringLiteral("/.local/share/Murel/words.json"),
                                   QByteArray(R"(["Kesso"])")));

        QProcess app;
        app.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        app.start(QStringLiteral(OMBRY_BINARY), {});
        QVERIFY(app.waitForStarted(5000));
        QVERIFY2(TestEnv::waitFor([&] { return TestEnv::readFile(log).contains("ordinateur: "); }, 15000),
                 TestEnv::readFile(log).constData());
        QCOMPARE(app.state(), QProcess::Running);

        const QString text = QString::fromUtf8(TestEnv::readFile(log));
        static const QRegularExpression macLine(
            QStringLiteral(R"(\n?\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z ordinateur: .* · \d+ Go · \d+ cœurs, effets (légers|complets)\n)"));
        QVERIFY2(macLine.match(text).hasMatch(), qPrintable(text));
        QVERIFY(TestEnv::readFile(dataFolder + QStringLiteral("/words.json")).contains("Kesso"));
        QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/.local/share/Murel")));
        const QJsonObject prefs = QJsonDocument::fromJson(TestEnv::readFile(
            home.path() + QStringLiteral("/.config/Ombry Voice/com.corvanel.ombryvoice.json"))).object();
        QCOMPARE(prefs.value(QStringLiteral("identityMigrated")), QJsonValue(true));

        ::kill(pid_t(app.processId()), signal);
        QVERIFY(TestEnv::waitFor([&] { return app.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }
};

OMBRY_TEST_GUI_MAIN(TestStartup)
#include "tst_startup.moc"
