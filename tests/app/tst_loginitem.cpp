#include "shell/LoginItem.h"
#include "model/Defaults.h"
#include "core/Log.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The log's length when the current test began: its lines come after.
qsizetype gLogStart = 0;

QStringList loginLines()
{
    Log::waitUntilWritten();
    QStringList lines;
    const QByteArray log = TestEnv::readFile(Log::path()).mid(gLogStart);
    for (const QString &line : QString::fromUtf8(log).split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(QStringLiteral(" démarrage auto: "));
        if (at >= 0)
            lines << line.mid(at + 1);
    }
    return lines;
}

bool validatorAccepts(const QString &path, QString *output)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        return true;
    QProcess process;
    process.start(validator, {path});
    process.waitForFinished(10000);
    *output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return process.exitCode() == 0;
}

} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        TestEnv::isolate();
        // The log opens its file in the data folder, which a real start makes first.
        QDir().mkpath(Store::folder());
        Log::waitUntilWritten();
        gLogStart = TestEnv::readFile(Log::path()).size();
    }

    void execArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << QStringLiteral("/usr/bin/ombry-voice") << QStringLiteral("/usr/bin/ombry-voice");
        QTest::newRow("space") << QStringLiteral("/opt/Ombry Voice/ombry-voice")
                               << QStringLiteral("\"/opt/Ombry Voice/ombry-voice\"");
        QTest::newRow("double quote") << QStringLiteral("/opt/a\"b/x") << QStringLiteral("\"/opt/a\\\\\"b/x\"");
        QTest::newRow("dollar and backtick") << QStringLiteral("/opt/$HOME`x`/x")
                                             << QStringLiteral("\"/opt/\\\\$HOME\\\\`x\\\\`/x\"");
        QTest::newRow("backslash") << QStringLiteral("/opt/a\\b") << QStringLiteral("\"/opt/a\\\\\\\\b\"");
        QTest::newRow("percent is not a field code") << QStringLiteral("/opt/100%/x") << QStringLiteral("/opt/100%%/x");
        QTest::newRow("single quote") << QStringLiteral("/home/o'neil/x") << QStringLiteral("\"/home/o'neil/x\"");
        QTest::newRow("accents need no quotes") << QStringLiteral("/home/léa/x") << QStringLiteral("/home/léa/x");
    }

    void execArgument()
    {
        QFETCH(QString, argument);
        QFETCH(QString, written);
        QCOMPARE(LoginItem::execArgument(argument), written);
    }

    void entriesValidate_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("plain") << QStringLiteral("/usr/bin/ombry-voice") << false;
        QTest::newRow("awkward path") << QStringLiteral("/opt/Ombry \"Voice\" $1 100%/a\\b/ombry-voice") << false;
        QTest::newRow("hidden") << QStringLiteral("/usr/bin/ombry-voice") << true;
    }

    void entriesValidate()
    {
        QFETCH(QString, program);
        QFETCH(bool, hidden);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ombry-voice.desktop"));
        const QByteArray text = LoginItem::entryText(program, hidden);
        QVERIFY(TestEnv::writeFile(path, text));
        QString output;
        QVERIFY2(validatorAccepts(path, &output), qPrintable(output + QString::fromUtf8(text)));
        QVERIFY(text.contains("\nIcon=com.corvanel.ombryvoice\n"));
        QCOMPARE(text.contains("\nHidden=true\n"), hidden);
    }

    void switching_data()
    {
        QTest::addColumn<bool>("systemEntry");
        QTest::addColumn<QList<bool>>("steps");
        QTest::addColumn<QStringList>("expectedLines");
        QTest::newRow("on") << false << QList<bool>{true} << QStringList{QStringLiteral("démarrage auto: true")};
        QTest::newRow("on then off") << false << QList<bool>{true, false}
                                     << QStringList{QStringLiteral("démarrage auto: true"),
                                                    QStringLiteral("démarrage auto: false")};
        QTest::newRow("off when nothing is there") << false << QList<bool>{false}
                                                   << QStringList{QStringLiteral("démarrage auto: false")};
        QTest::newRow("off over a system-wide entry") << true << QList<bool>{true, false}
                                                      << QStringList{QStringLiteral("démarrage auto: true"),
                                                                     QStringLiteral("démarrage auto: false")};
    }

    void switching()
    {
        QFETCH(bool, systemEntry);
        QFETCH(QList<bool>, steps);
        QFETCH(QStringList, expectedLines);
        const QString system = TestEnv::home() + QStringLiteral("/etc-xdg");
        qputenv("XDG_CONFIG_DIRS", system.toUtf8());
        if (systemEntry)
            QVERIFY(TestEnv::writeFile(system + QStringLiteral("/autostart/ombry-voice.desktop"),
                                       LoginItem::entryText(QStringLiteral("/usr/bin/ombry-voice"))));
        for (bool on : steps)
            LoginItem::set(on);
        const bool on = steps.last();
        QCOMPARE(LoginItem::isEnabled(), on);
        const QByteArray text = TestEnv::readFile(LoginItem::entryPath());
        if (on) {
            const QByteArray exec = "\nExec=" + LoginItem::execArgument(QCoreApplication::applicationFilePath()).toUtf8() + "\n";
            QVERIFY(text.contains(exec));
        } else if (systemEntry) {
            // Our removal would let the system-wide entry start the program.
            QVERIFY(text.contains("\nHidden=true\n"));
        } else {
            QVERIFY(!QFile::exists(LoginItem::entryPath()));
        }
        QCOMPARE(loginLines(), expectedLines);
        qunsetenv("XDG_CONFIG_DIRS");
    }

    void failureIsLogged()
    {
        // The autostart folder cannot be made: a file stands in its way.
        QVERIFY(TestEnv::writeFile(TestEnv::home() + QStringLiteral("/.config/autostart"), "x"));
        LoginItem::set(true);
        const QStringList lines = loginLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("démarrage auto: impossible de créer le dossier")),
                 qPrintable(lines[0]));
    }

    void applyDefault_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<bool>("registers");
        QTest::newRow("first start") << QJsonValue(QJsonValue::Undefined) << true;
        QTest::newRow("already applied") << QJsonValue(true) << false;
        QTest::newRow("stored false") << QJsonValue(false) << false;
        QTest::newRow("stored as text") << QJsonValue(QStringLiteral("oui")) << false;
        QTest::newRow("stored as number") << QJsonValue(0) << false;
    }

    void applyDefault()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(bool, registers);
        Defaults defaults(QStringLiteral("com.corvanel.ombryvoice"));
        if (!stored.isUndefined())
            defaults.set(QStringLiteral("loginItemSetOmbry"), stored);
        LoginItem::applyDefault(defaults);
        QCOMPARE(QFile::exists(LoginItem::entryPath()), registers);
        QCOMPARE(loginLines(), registers ? QStringList{QStringLiteral("démarrage auto: true")} : QStringList());
        // Stored before the registration, and never changed later.
        QCOMPARE(defaults.object(QStringLiteral("loginItemSetOmbry")), stored.isUndefined() ? QJsonValue(true) : stored);
        // The user removed the entry: a later start leaves it removed.
        QFile::remove(LoginItem::entryPath());
        Defaults again(QStringLiteral("com.corvanel.ombryvoice"));
        LoginItem::applyDefault(again);
        QVERIFY(!QFile::exists(LoginItem::entryPath()));
    }
};

OMBRY_TEST_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
