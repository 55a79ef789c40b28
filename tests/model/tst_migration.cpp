#include "model/Defaults.h"
#include "model/IdentityMigration.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

class TestMigration : public QObject
{
    Q_OBJECT

    static void put(const QString &path, const QByteArray &data = "x") { QVERIFY(TestEnv::writeFile(path, data)); }

private Q_SLOTS:
    void preferencesAreCarriedOverOnce()
    {
        QTemporaryDir config, cache;
        Defaults standard(QString::fromLatin1(Defaults::kAppDomain), config.path());
        standard.set(QStringLiteral("language"), QStringLiteral("fr"));
        {
            Defaults former(QString::fromLatin1(Defaults::kFormerDomain), config.path());
            former.set(QStringLiteral("language"), QStringLiteral("en"));
            former.set(QStringLiteral("typingWPM"), 55);
            former.set(QStringLiteral("translateApps"), QJsonArray{QStringLiteral("com.slack")});
            former.set(QStringLiteral("sounds"), false);
            former.set(QStringLiteral("loginItemSetOmbry"), true);
        }
        Defaults former(QString::fromLatin1(Defaults::kFormerDomain), config.path());
        IdentityMigration::run(standard, former, cache.path());

        // What the current store holds stays; the rest comes over with its type.
        Defaults reread(QString::fromLatin1(Defaults::kAppDomain), config.path());
        QCOMPARE(reread.object(QStringLiteral("language")), QJsonValue(QStringLiteral("fr")));
        QCOMPARE(reread.object(QStringLiteral("typingWPM")), QJsonValue(55));
        QCOMPARE(reread.object(QStringLiteral("sounds")), QJsonValue(false));
        QCOMPARE(reread.object(QStringLiteral("translateApps")), QJsonValue(QJsonArray{QStringLiteral("com.slack")}));
        QVERIFY(!reread.contains(QStringLiteral("loginItemSetOmbry")));
        QCOMPARE(reread.boolean(QStringLiteral("identityMigrated")), true);
        QVERIFY(!QFileInfo::exists(config.filePath(QStringLiteral("com.corvanel.murel.json"))));

        // A second run copies nothing, even from a former domain that came back.
        {
            Defaults back(QString::fromLatin1(Defaults::kFormerDomain), config.path());
            back.set(QStringLiteral("adaptTone"), false);
        }
        reread.set(QStringLiteral("loginItemSetOmbry"), true);
        Defaults former2(QString::fromLatin1(Defaults::kFormerDomain), config.path());
        IdentityMigration::run(reread, former2, cache.path());
        Defaults again(QString::fromLatin1(Defaults::kAppDomain), config.path());
        QVERIFY(!again.contains(QStringLiteral("adaptTone")));
        QCOMPARE(again.boolean(QStringLiteral("loginItemSetOmbry")), true);
        QVERIFY(QFileInfo::exists(config.filePath(QStringLiteral("com.corvanel.murel.json"))));
    }

    void withoutFormerDomainOnlyMarks()
    {
        QTemporaryDir config, cache;
        Defaults standard(QString::fromLatin1(Defaults::kAppDomain), config.path());
        standard.set(QStringLiteral("loginItemSetOmbry"), true);
        Defaults former(QString::fromLatin1(Defaults::kFormerDomain), config.path());
        IdentityMigration::run(standard, former, cache.path());
        Defaults reread(QString::fromLatin1(Defaults::kAppDomain), config.path());
        QCOMPARE(reread.all(), QJsonObject({{"identityMigrated", true}}));
        QVERIFY(!former.exists());
    }

    void nothingCreatedUnderFormerName_data()
    {
        QTest::addColumn<QByteArray>("formerFile"); // empty: no former file
        QTest::addColumn<int>("setAside");           // the user's unreadable bytes, renamed
        QTest::newRow("no former file") << QByteArray() << 0;
        QTest::newRow("former file") << QByteArray(R"({"typingWPM": 55})") << 0;
        QTest::newRow("unreadable former file") << QByteArray("{not json") << 1;
    }
    void nothingCreatedUnderFormerName()
    {
        QFETCH(QByteArray, formerFile);
        QFETCH(int, setAside);
        QTemporaryDir config, cache;
        if (!formerFile.isEmpty())
            put(config.filePath(QStringLiteral("com.corvanel.murel.json")), formerFile);
        Defaults standard(QString::fromLatin1(Defaults::kAppDomain), config.path());
        Defaults former(QString::fromLatin1(Defaults::kFormerDomain), config.path());
        IdentityMigration::run(standard, former, cache.path());
        const QStringList left = QDir(config.path()).entryList({QStringLiteral("com.corvanel.murel*")},
                                                               QDir::AllEntries | QDir::Hidden | QDir::System);
        QCOMPARE(left.size(), setAside);
        for (const QString &f : left)
            QVERIFY2(f.startsWith(QStringLiteral("com.corvanel.murel.json.illisible-")), qPrintable(f));
        QVERIFY(standard.exists());
    }

    void cacheLeftoverRemovedAtEveryRun()
    {
        QTemporaryDir config, cache;
        const QString leftover = cache.filePath(QStringLiteral("com.corvanel.murel"));
        Defaults standard(QString::fromLatin1(Defaults::kAppDomain), config.path());
        Defaults former(QString::fromLatin1(Defaults::kFormerDomain), config.path());
        put(leftover + QStringLiteral("/fsCachedData/abc"));
        IdentityMigration::run(standard, former, cache.path());
        QVERIFY(!QFileInfo::exists(leftover));
        put(leftover + QStringLiteral("/Cache.db"));
        put(cache.filePath(QStringLiteral("other/keep")));
        IdentityMigration::run(standard, former, cache.path());
        QVERIFY(!QFileInfo::exists(leftover));
        QVERIFY(QFileInfo::exists(cache.filePath(QStringLiteral("other/keep"))));
        // A plain file of that name goes too.
        put(leftover);
        IdentityMigration::run(standard, former, cache.path());
        QVERIFY(!QFileInfo::exists(leftover));
    }

    void cacheLinkIsRemovedNotFollowed()
    {
        QTemporaryDir config, cache, elsewhere;
        put(elsewhere.filePath(QStringLiteral("precious")));
        const QString leftover = cache.filePath(QStringLiteral("com.corvanel.murel"));
        QVERIFY(QFile::link(elsewhere.path(), leftover));
        Defaults standard(QString::fromLatin1(Defaults::kAppDomain), config.path());
        Defaults former(QString::fromLatin1(Defaults::kFormerDomain), config.path());
        IdentityMigration::run(standard, former, cache.path());
        QVERIFY(!QFileInfo(leftover).isSymLink());
        QVERIFY(QFileInfo::exists(elsewhere.filePath(QStringLiteral("precious"))));
    }

    // The real entry point works on the isolated home's stores.
    void runUsesStandardStoreAndCacheHome()
    {
        const QString cacheHome = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        QVERIFY(cacheHome.startsWith(TestEnv::home()));
        put(cacheHome + QStringLiteral("/com.corvanel.murel/x"));
        put(Defaults::folder() + QStringLiteral("/com.corvanel.murel.json"), R"({"deepgramModel":"nova-2"})");
        IdentityMigration::run(Defaults::standard());
        QCOMPARE(Defaults::standard().string(QStringLiteral("deepgramModel")), QStringLiteral("nova-2"));
        QCOMPARE(Defaults::standard().boolean(QStringLiteral("identityMigrated")), true);
        QVERIFY(!QFileInfo::exists(cacheHome + QStringLiteral("/com.corvanel.murel")));
        QVERIFY(!QFileInfo::exists(Defaults::folder() + QStringLiteral("/com.corvanel.murel.json")));
    }

    void dataFolder_data()
    {
        QTest::addColumn<QStringList>("former");   // files in "Murel"; "-" = no folder; "=file" = Murel is a file
        QTest::addColumn<QStringList>("current");  // files in the current folder; "-" = none
        QTest::addColumn<QStringList>("expected"); // files in the current folder afterwards
        QTest::addColumn<bool>("formerStays");
        QTest::newRow("moved, log renamed")
            << QStringList{"history.json", "murel.log", "Audio/a.wav"} << QStringList{"-"}
            << QStringList{"Audio/a.wav", "history.json", "journal.log"} << false;
        QTest::newRow("moved without log") << QStringList{"words.json"} << QStringList{"-"}
                                           << QStringList{"words.json"} << false;
        QTest::newRow("both logs: murel.log stays")
            << QStringList{"murel.log", "journal.log"} << QStringList{"-"}
            << QStringList{"journal.log", "murel.log"} << false;
        QTest::newRow("current exists: nothing moves") << QStringList{"history.json"} << QStringList{"keys.json"}
                                                       << QStringList{"keys.json"} << true;
        QTest::newRow("current exists empty") << QStringList{"history.json"} << QStringList{}
                                              << QStringList{} << true;
        QTest::newRow("no former folder") << QStringList{"-"} << QStringList{"-"} << QStringList{"-"} << false;
        QTest::newRow("former is a file") << QStringList{"=file"} << QStringList{"-"} << QStringList{"-"} << true;
    }
    void dataFolder()
    {
        QFETCH(QStringList, former);
        QFETCH(QStringList, current);
        QFETCH(QStringList, expected);
        QFETCH(bool, formerStays);
        QTemporaryDir base;
        const QString source = base.filePath(QStringLiteral("Murel"));
        const QString target = base.filePath(QStringLiteral("Ombry Voice"));
        if (former == QStringList{"=file"})
            put(source);
        else if (former != QStringList{"-"})
            for (const QString &f : former)
                put(source + QLatin1Char('/') + f, f.toUtf8());
        if (current != QStringList{"-"}) {
            QVERIFY(QDir().mkpath(target));
            for (const QString &f : current)
                put(target + QLatin1Char('/') + f);
        }

        IdentityMigration::moveDataFolder(target);

        if (expected == QStringList{"-"}) {
            QVERIFY(!QFileInfo::exists(target));
        } else {
            QStringList found;
            QDirIterator it(target, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found.append(QDir(target).relativeFilePath(it.next()));
            found.sort();
            QCOMPARE(found, expected);
        }
        QCOMPARE(QFileInfo::exists(source), formerStays);
        if (former.contains(QStringLiteral("murel.log")) && !former.contains(QStringLiteral("journal.log")))
            QCOMPARE(TestEnv::readFile(target + QStringLiteral("/journal.log")), QByteArray("murel.log"));
    }
};

OMBRY_TEST_MAIN(TestMigration)
#include "tst_migration.moc"
