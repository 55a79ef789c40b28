#include "model/Defaults.h"
#include "core/Log.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class TestDefaults : public QObject
{
    Q_OBJECT

    static QString domain() { return QString::fromLatin1(Defaults::kAppDomain); }
    static QStringList setAside(const QString &dir)
    {
        return QDir(dir).entryList({domain() + QStringLiteral(".json.illisible-*")}, QDir::Files);
    }

private Q_SLOTS:
    void typedLookups_data()
    {
        QTest::addColumn<QByteArray>("stored");  // the JSON value under "k"; empty = absent
        QTest::addColumn<QVariant>("boolean");
        QTest::addColumn<QVariant>("integer");
        QTest::addColumn<QVariant>("number");
        QTest::addColumn<QVariant>("string");
        QTest::addColumn<QVariant>("array");
        const QVariant none;
        QTest::newRow("absent") << QByteArray() << none << none << none << none << none;
        QTest::newRow("true") << QByteArray("true") << QVariant(true) << none << none << none << none;
        QTest::newRow("number 1") << QByteArray("1") << QVariant(true) << QVariant(qint64(1)) << QVariant(1.0)
                                  << QVariant(QStringLiteral("1")) << none;
        QTest::newRow("number 0") << QByteArray("0") << QVariant(false) << QVariant(qint64(0)) << QVariant(0.0)
                                  << QVariant(QStringLiteral("0")) << none;
        QTest::newRow("number 2") << QByteArray("2") << none << QVariant(qint64(2)) << QVariant(2.0)
                                  << QVariant(QStringLiteral("2")) << none;
        QTest::newRow("fraction") << QByteArray("2.5") << none << none << QVariant(2.5)
                                  << QVariant(QStringLiteral("2.5")) << none;
        QTest::newRow("tenth") << QByteArray("0.1") << none << none << QVariant(0.1)
                               << QVariant(QStringLiteral("0.1")) << none;
        QTest::newRow("negative") << QByteArray("-40") << none << QVariant(qint64(-40)) << QVariant(-40.0)
                                  << QVariant(QStringLiteral("-40")) << none;
        QTest::newRow("big integer") << QByteArray("4503599627370497") << none << QVariant(qint64(4503599627370497))
                                     << QVariant(4503599627370497.0) << QVariant(QStringLiteral("4503599627370497")) << none;
        QTest::newRow("string YES") << QByteArray("\"YES\"") << none << none << none << QVariant(QStringLiteral("YES")) << none;
        QTest::newRow("string 12") << QByteArray("\"12\"") << none << none << none << QVariant(QStringLiteral("12")) << none;
        QTest::newRow("strings") << QByteArray(R"(["a","b"])") << none << none << none << none
                                 << QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")});
        QTest::newRow("empty array") << QByteArray("[]") << none << none << none << none << QVariant(QStringList{});
        QTest::newRow("mixed array") << QByteArray(R"(["a",1])") << none << none << none << none << none;
        QTest::newRow("object") << QByteArray(R"({"a":1})") << none << none << none << none << none;
        QTest::newRow("null") << QByteArray("null") << none << none << none << none << none;
    }
    void typedLookups()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QVariant, boolean);
        QFETCH(QVariant, integer);
        QFETCH(QVariant, number);
        QFETCH(QVariant, string);
        QFETCH(QVariant, array);
        QTemporaryDir dir;
        if (!stored.isEmpty())
            QVERIFY(TestEnv::writeFile(dir.filePath(domain() + QStringLiteral(".json")), "{\"k\":" + stored + "}"));
        const Defaults d(domain(), dir.path());
        const QString k = QStringLiteral("k");
        const auto wrap = [](const auto &opt) { return opt ? QVariant::fromValue(*opt) : QVariant(); };
        QCOMPARE(wrap(d.boolean(k)), boolean);
        QCOMPARE(wrap(d.integer(k)), integer);
        QCOMPARE(wrap(d.number(k)), number);
        QCOMPARE(wrap(d.string(k)), string);
        QCOMPARE(wrap(d.stringArray(k)), array);
    }

    void valuesKeepTheirTypesAcrossRuns()
    {
        QTemporaryDir dir;
        {
            Defaults d(domain(), dir.path());
            QVERIFY(!d.exists());
            QVERIFY(!d.contains(QStringLiteral("a")));
            QVERIFY(!d.exists());  // reading creates nothing
            d.set(QStringLiteral("b"), true);
            d.set(QStringLiteral("i"), qint64(786432));
            d.set(QStringLiteral("s"), QStringLiteral("é ⌃⌥C"));
            d.set(QStringLiteral("l"), QJsonArray{QStringLiteral("x")});
            d.set(QStringLiteral("gone"), 1);
            d.remove(QStringLiteral("gone"));
            QVERIFY(!d.contains(QStringLiteral("gone")));
        }
        const Defaults d(domain(), dir.path());
        QCOMPARE(d.all(), QJsonObject({{"b", true}, {"i", 786432}, {"s", QStringLiteral("é ⌃⌥C")}, {"l", QJsonArray{QStringLiteral("x")}}}));
        QCOMPARE(d.boolean(QStringLiteral("b")), true);
        QCOMPARE(d.integer(QStringLiteral("i")), qint64(786432));
    }

    void removeDomainDeletesFileAndKeys()
    {
        QTemporaryDir dir;
        Defaults d(domain(), dir.path());
        d.set(QStringLiteral("a"), 1);
        QVERIFY(d.exists());
        d.removeDomain();
        QVERIFY(!d.exists());
        QVERIFY(d.all().isEmpty());
        QVERIFY(Defaults(domain(), dir.path()).all().isEmpty());
    }

    // Two stores open on one domain: neither loses what the other wrote.
    void twoInstancesKeepEachOthersKeys()
    {
        QTemporaryDir dir;
        Defaults a(domain(), dir.path());
        Defaults b(domain(), dir.path());
        a.set(QStringLiteral("fromA"), 1);
        b.set(QStringLiteral("fromB"), 2);
        a.set(QStringLiteral("again"), 3);
        b.remove(QStringLiteral("missing"));
        QCOMPARE(Defaults(domain(), dir.path()).all(), QJsonObject({{"fromA", 1}, {"fromB", 2}, {"again", 3}}));

        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&dir, t] {
                Defaults own(domain(), dir.path());
                for (int i = 0; i < 25; ++i)
                    own.set(QStringLiteral("t%1-%2").arg(t).arg(i), i);
            });
        for (auto &th : threads)
            th.join();
        QCOMPARE(Defaults(domain(), dir.path()).all().size(), 3 + 4 * 25);
    }

    void twoProcessesKeepEachOthersKeys()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        QList<pid_t> children;
        for (int p = 0; p < 3; ++p) {
            const pid_t pid = ::fork();
            QVERIFY(pid >= 0);
            if (pid == 0) {
                Defaults own(domain(), folder);
                for (int i = 0; i < 40; ++i)
                    own.set(QStringLiteral("p%1-%2").arg(p).arg(i), i);
                ::_exit(0);
            }
            children.append(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            QCOMPARE(::waitpid(pid, &status, 0), pid);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const QJsonObject all = Defaults(domain(), folder).all();
        QCOMPARE(all.size(), 3 * 40);
        QCOMPARE(all.value(QStringLiteral("p2-39")), QJsonValue(39));
        // The file stays valid JSON throughout: it is replaced, never rewritten in place.
        QVERIFY(QJsonDocument::fromJson(TestEnv::readFile(dir.filePath(domain() + QStringLiteral(".json")))).isObject());
    }

    // A domain file that is not a JSON object is moved aside with its bytes, once,
    // and the store starts empty; later writes never touch the set-aside copy.
    void unreadableFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("trailing comma") << QByteArray("{\n  \"sounds\": false,\n  \"key\": \"leftOption\",\n}\n");
        QTest::newRow("not JSON") << QByteArray("sounds=false");
        QTest::newRow("array") << QByteArray("[{\"sounds\":false}]");
        QTest::newRow("truncated") << QByteArray("{\"sounds\": fal");
        QTest::newRow("empty file") << QByteArray();
    }
    void unreadableFileIsSetAside()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString file = dir.filePath(domain() + QStringLiteral(".json"));
        QVERIFY(TestEnv::writeFile(file, bytes));
        Log::waitUntilWritten();
        const qsizetype logBefore = TestEnv::readFile(Log::path()).size();
        {
            Defaults d(domain(), dir.path());
            QVERIFY(d.all().isEmpty());
            QVERIFY(!QFileInfo::exists(file));
            const QStringList aside = setAside(dir.path());
            QCOMPARE(aside.size(), 1);
            QVERIFY2(QRegularExpression(QStringLiteral(R"(^\.illisible-\d{8}T\d{6}Z$)"))
                         .match(aside.first().mid(file.size() - dir.path().size() - 1)).hasMatch(),
                     qPrintable(aside.first()));
            QCOMPARE(TestEnv::readFile(dir.filePath(aside.first())), bytes);

            d.set(QStringLiteral("theme"), QStringLiteral("dark"));
            d.remove(QStringLiteral("sounds"));
            QCOMPARE(TestEnv::readFile(dir.filePath(aside.first())), bytes);
            QCOMPARE(Defaults(domain(), dir.path()).all(), QJsonObject({{"theme", "dark"}}));
        }
        QCOMPARE(setAside(dir.path()).size(), 1);
        Log::waitUntilWritten();
        const QByteArray logged = TestEnv::readFile(Log::path()).mid(logBefore);
        QVERIFY2(logged.contains(QByteArray("réglages: " + domain().toUtf8() + ".json")), logged.constData());
    }

    // A folder or a FIFO where the file should be is not read (a FIFO would hang
    // the start): it is moved aside too, and the next write makes a file in its place.
    void fileThatCannotBeReadIsSetAside_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("folder") << false;
        QTest::newRow("fifo") << true;
    }
    void fileThatCannotBeReadIsSetAside()
    {
        QFETCH(bool, fifo);
        QTemporaryDir dir;
        const QString file = dir.filePath(domain() + QStringLiteral(".json"));
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(file + QStringLiteral("/inside")));
        Defaults d(domain(), dir.path());
        QVERIFY(d.all().isEmpty());
        d.set(QStringLiteral("a"), 1);
        QVERIFY(QFileInfo(file).isFile());
        const QStringList aside = QDir(dir.path()).entryList({domain() + QStringLiteral(".json.illisible-*")},
                                                             QDir::Dirs | QDir::System);
        QCOMPARE(aside.size(), 1);
        if (!fifo)
            QVERIFY(QFileInfo::exists(dir.filePath(aside.first() + QStringLiteral("/inside"))));
    }

    // A write that cannot reach the disk keeps the value for this run and says so.
    void failedWriteIsLogged_data()
    {
        QTest::addColumn<bool>("removal");
        QTest::newRow("set") << false;
        QTest::newRow("remove") << true;
    }
    void failedWriteIsLogged()
    {
        QFETCH(bool, removal);
        QTemporaryDir dir;
        // A folder below a regular file cannot be created, not even by root.
        QVERIFY(TestEnv::writeFile(dir.filePath(QStringLiteral("plain")), "x"));
        Defaults d(domain(), dir.filePath(QStringLiteral("plain/config")));
        Log::waitUntilWritten();
        const qsizetype logBefore = TestEnv::readFile(Log::path()).size();
        if (removal)
            d.remove(QStringLiteral("k"));
        else
            d.set(QStringLiteral("k"), 7);
        QCOMPARE(d.object(QStringLiteral("k")), removal ? QJsonValue(QJsonValue::Undefined) : QJsonValue(7));
        Log::waitUntilWritten();
        const QByteArray logged = TestEnv::readFile(Log::path()).mid(logBefore);
        QVERIFY2(logged.contains(QByteArray("réglages: " + domain().toUtf8() + ".json non écrit")), logged.constData());
    }

    void standardStoreLivesInConfigHome()
    {
        QCOMPARE(Defaults::folder(), TestEnv::home() + QStringLiteral("/.config/Ombry Voice"));
        QCOMPARE(Defaults::standard().filePath(), Defaults::folder() + QStringLiteral("/com.corvanel.ombryvoice.json"));
    }
};

OMBRY_TEST_MAIN(TestDefaults)
#include "tst_defaults.moc"
