#include "support/BundleKit.h"
#include "support/TestEnv.h"

#include "update/Bundle.h"
#include "keys/TestKeys.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sodium.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using BundleKit::Member;

namespace {

const QString kApp = QStringLiteral("Ombry Voice.app");

QMap<QString, BundleKit::File> programFiles()
{
    return {{QStringLiteral("ombry-voice"), {QByteArrayLiteral("#!/bin/sh\necho 13\n"), true}},
            {QStringLiteral("share/notes.txt"), {QByteArrayLiteral("Nouveautés"), false}}};
}

// A manifest written and signed by hand, whatever it says: what an attacker
// holding the key could produce, or what sign() refuses to write.
void signAnyway(const QString &folder, const QJsonArray &files, const QByteArray &secretKey)
{
    const QByteArray manifest = QJsonDocument(QJsonObject{{QStringLiteral("files"), files}}).toJson();
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(manifest.constData()), quint64(manifest.size()),
                         reinterpret_cast<const unsigned char *>(secretKey.constData()));
    QVERIFY(TestEnv::writeFile(folder + QLatin1Char('/') + Bundle::kManifestFile, manifest));
    QVERIFY(TestEnv::writeFile(folder + QLatin1Char('/') + Bundle::kSignatureFile, signature));
}

QJsonObject listed(const QString &folder, const QString &path, bool executable = false)
{
    return {{QStringLiteral("path"), path},
            {QStringLiteral("sha256"), QString::fromLatin1(Bundle::sha256(folder + QLatin1Char('/') + path))},
            {QStringLiteral("executable"), executable}};
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runSign(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(OMBRY_SIGN_BINARY), arguments);
    process.waitForFinished(20000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

enum class Change {
    None,
    FormerIdentifier,
    TamperFile,
    AddFile,
    RemoveFile,
    DropExecutableBit,
    StrangerKey,
    NoSignature,
    ShortSignature,
    NoKeyInProgram,
    ForeignIdentifierSigned,
    LinkInside,
    ManifestClimbsOut,
    ManifestMissesInfo,
    BuildNotANumber,
};

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(QList<BundleKit::Member>)

class TestBundle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseBuild_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<qint64>("build");
        QTest::newRow("digits") << QJsonValue(QStringLiteral("12")) << qint64(12);
        QTest::newRow("plus sign") << QJsonValue(QStringLiteral("+7")) << qint64(7);
        QTest::newRow("minus sign") << QJsonValue(QStringLiteral("-3")) << qint64(-3);
        QTest::newRow("dotted version") << QJsonValue(QStringLiteral("1.2")) << qint64(0);
        QTest::newRow("empty") << QJsonValue(QString()) << qint64(0);
        QTest::newRow("leading blank") << QJsonValue(QStringLiteral(" 12")) << qint64(0);
        QTest::newRow("trailing letters") << QJsonValue(QStringLiteral("12a")) << qint64(0);
        QTest::newRow("beyond 64 bits") << QJsonValue(QStringLiteral("99999999999999999999")) << qint64(0);
        QTest::newRow("largest") << QJsonValue(QStringLiteral("9223372036854775807")) << qint64(9223372036854775807LL);
        QTest::newRow("arabic-indic digits") << QJsonValue(QStringLiteral("١٢")) << qint64(0);
        QTest::newRow("whole number") << QJsonValue(13) << qint64(13);
        QTest::newRow("fraction") << QJsonValue(13.5) << qint64(0);
        QTest::newRow("boolean") << QJsonValue(true) << qint64(0);
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << qint64(0);
    }

    void parseBuild()
    {
        QFETCH(QJsonValue, value);
        QFETCH(qint64, build);
        QCOMPARE(Bundle::parseBuild(value), build);
    }

    void verify_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("reason");
        QTest::newRow("intact") << Change::None << true << QString();
        QTest::newRow("former identifier") << Change::FormerIdentifier << true << QString();
        QTest::newRow("tampered file") << Change::TamperFile << false << QStringLiteral("contenu modifié : ombry-voice");
        QTest::newRow("file added") << Change::AddFile << false << QStringLiteral("fichier non signé : extra.so");
        QTest::newRow("file removed") << Change::RemoveFile << false << QStringLiteral("fichier absent : share/notes.txt");
        QTest::newRow("executable bit dropped") << Change::DropExecutableBit << false
                                                << QStringLiteral("droits d'exécution modifiés : ombry-voice");
        QTest::newRow("signed with another key") << Change::StrangerKey << false
                                                 << QStringLiteral("signature refusée par la clé de publication");
        QTest::newRow("unsigned") << Change::NoSignature << false << QStringLiteral("paquet non signé");
        QTest::newRow("signature cut short") << Change::ShortSignature << false << QStringLiteral("paquet non signé");
        QTest::newRow("program built without a key") << Change::NoKeyInProgram << false
                                                     << QStringLiteral("aucune clé de publication dans ce programme");
        QTest::newRow("foreign identifier, validly signed") << Change::ForeignIdentifierSigned << false
                                                            << QStringLiteral("identifiant inconnu");
        QTest::newRow("symbolic link added") << Change::LinkInside << false
                                             << QStringLiteral("élément qui n'est ni un fichier ni un dossier : lien");
        QTest::newRow("manifest path climbing out") << Change::ManifestClimbsOut << false
                                                    << QStringLiteral("manifeste illisible");
        QTest::newRow("Info.json not listed") << Change::ManifestMissesInfo << false
                                              << QStringLiteral("fichier non signé : Info.json");
        QTest::newRow("build that is not a number") << Change::BuildNotANumber << false
                                                    << QStringLiteral("numéro de build illisible");
    }

    void verify()
    {
        QFETCH(Change, change);
        QFETCH(bool, accepted);
        QFETCH(QString, reason);

        QTemporaryDir dir;
        const QString app = dir.path() + QLatin1Char('/') + kApp;
        const QString identifier = change == Change::FormerIdentifier ? Bundle::kFormerIdentifier : Bundle::kIdentifier;
        QVERIFY(BundleKit::make(app, identifier, QStringLiteral("1.3.0"), QStringLiteral("13"), programFiles()));
        QByteArray key = TestKeys::publicKey();
        Bundle::sign(app, change == Change::StrangerKey ? TestKeys::strangerSecretKey() : TestKeys::secretKey());

        const QString program = app + QStringLiteral("/ombry-voice");
        switch (change) {
        case Change::None:
        case Change::FormerIdentifier:
        case Change::StrangerKey:
            break;
        case Change::TamperFile:
            QVERIFY(TestEnv::writeFile(program, "#!/bin/sh\nrm -rf ~\n"));
            QVERIFY(QFile::setPermissions(program, QFile::Permissions::fromInt(0x7755)));
            break;
        case Change::AddFile:
            QVERIFY(TestEnv::writeFile(app + QStringLiteral("/extra.so"), "x"));
            break;
        case Change::RemoveFile:
            QVERIFY(QFile::remove(app + QStringLiteral("/share/notes.txt")));
            break;
        case Change::DropExecutableBit:
            QVERIFY(QFile::setPermissions(program, QFile::Permissions::fromInt(0x6644)));
            break;
        case Change::NoSignature:
            QVERIFY(QFile::remove(app + QLatin1Char('/') + Bundle::kSignatureFile));
            break;
        case Change::ShortSignature:
            QVERIFY(TestEnv::writeFile(app + QLatin1Char('/') + Bundle::kSignatureFile,
                                       TestEnv::readFile(app + QLatin1Char('/') + Bundle::kSignatureFile).left(63)));
            break;
        case Change::NoKeyInProgram:
            key.clear();
            break;
        case Change::ForeignIdentifierSigned: {
            QVERIFY(BundleKit::make(app, QStringLiteral("org.example.other"), QStringLiteral("1.3.0"), QStringLiteral("13"), {}));
            signAnyway(app,
                       {listed(app, QStringLiteral("Info.json")), listed(app, QStringLiteral("ombry-voice"), true),
                        listed(app, QStringLiteral("share/notes.txt"))},
                       TestKeys::secretKey());
            break;
        }
        case Change::LinkInside:
            QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), app + QStringLiteral("/lien")));
            break;
        case Change::ManifestClimbsOut: {
            QJsonObject outside = listed(app, QStringLiteral("Info.json"));
            outside.insert(QStringLiteral("path"), QStringLiteral("../Info.json"));
            signAnyway(app,
                       {listed(app, QStringLiteral("Info.json")), listed(app, QStringLiteral("ombry-voice"), true),
                        listed(app, QStringLiteral("share/notes.txt")), outside},
                       TestKeys::secretKey());
            break;
        }
        case Change::ManifestMissesInfo:
            signAnyway(app, {listed(app, QStringLiteral("ombry-voice"), true), listed(app, QStringLiteral("share/notes.txt"))},
                       TestKeys::secretKey());
            break;
        case Change::BuildNotANumber:
            QVERIFY(BundleKit::make(app, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("1.3"), {}));
            signAnyway(app,
                       {listed(app, QStringLiteral("Info.json")), listed(app, QStringLiteral("ombry-voice"), true),
                        listed(app, QStringLiteral("share/notes.txt"))},
                       TestKeys::secretKey());
            break;
        }

        try {
            const Bundle::Info info = Bundle::verify(app, key);
            QVERIFY2(accepted, "a bundle that should be refused passed");
            QCOMPARE(info.identifier, identifier);
            QCOMPARE(info.version, QStringLiteral("1.3.0"));
            QCOMPARE(info.build, qint64(13));
        } catch (const Bundle::Refused &refused) {
            QVERIFY2(!accepted, qPrintable(refused.detail()));
            QCOMPARE(refused.kind(), Bundle::Refused::Kind::Signature);
            QCOMPARE(refused.detail(), reason);
        }
    }

    // sign() will not vouch for what an installation would refuse.
    void signRefuses_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("build");
        QTest::addColumn<bool>("withLink");
        QTest::newRow("foreign identifier") << QStringLiteral("org.example.other") << QStringLiteral("13") << false;
        QTest::newRow("no build") << Bundle::kIdentifier << QStringLiteral("") << false;
        QTest::newRow("symbolic link") << Bundle::kIdentifier << QStringLiteral("13") << true;
    }

    void signRefuses()
    {
        QFETCH(QString, identifier);
        QFETCH(QString, build);
        QFETCH(bool, withLink);
        QTemporaryDir dir;
        const QString app = dir.path() + QLatin1Char('/') + kApp;
        QVERIFY(BundleKit::make(app, identifier, QStringLiteral("1.3.0"), build, programFiles()));
        if (withLink)
            QVERIFY(QFile::link(QStringLiteral("ombry-voice"), app + QStringLiteral("/alias")));
        QVERIFY_THROWS_EXCEPTION(Bundle::Refused, Bundle::sign(app, TestKeys::secretKey()));
        QVERIFY(!QFile::exists(app + QLatin1Char('/') + Bundle::kSignatureFile));
    }

    void extract_data()
    {
        QTest::addColumn<QList<Member>>("members");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<QStringList>("top");
        QTest::addColumn<int>("maxEntries");
        QTest::addColumn<qint64>("maxBytes");

        const Member folder{kApp, Member::Folder, {}, {}, 0755};
        const Member program{kApp + QStringLiteral("/ombry-voice"), Member::File, "#!/bin/sh\n", {}, 0755};
        const Member info{kApp + QStringLiteral("/Info.json"), Member::File, "{}", {}, 0644};
        const qint64 big = qint64(1) << 30;

        QTest::newRow("plain bundle") << QList<Member>{folder, program, info} << QString() << QStringList{kApp} << 100 << big;
        QTest::newRow("dot-slash names") << QList<Member>{{QStringLiteral("./"), Member::Folder, {}, {}, 0755},
                                                          {QStringLiteral("./") + kApp + QStringLiteral("/ombry-voice"),
                                                           Member::File, "x", {}, 0755}}
                                         << QString() << QStringList{kApp} << 100 << big;
        QTest::newRow("text file first, in archive order")
            << QList<Member>{{QStringLiteral("LISEZMOI.txt"), Member::File, "lis-moi", {}, 0644}, folder, program}
            << QString() << QStringList{QStringLiteral("LISEZMOI.txt"), kApp} << 100 << big;
        QTest::newRow("file in a folder never named") << QList<Member>{program} << QString() << QStringList{kApp} << 100 << big;
        QTest::newRow("climbing out through the bundle")
            << QList<Member>{folder, {kApp + QStringLiteral("/../../evil"), Member::File, "evil", {}, 0644}}
            << QStringLiteral("chemin remontant (« .. ») dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("climbing out at once")
            << QList<Member>{{QStringLiteral("../evil"), Member::File, "evil", {}, 0644}}
            << QStringLiteral("chemin remontant (« .. ») dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("absolute name")
            << QList<Member>{{QStringLiteral("@SANDBOX@/evil"), Member::File, "evil", {}, 0644}}
            << QStringLiteral("chemin absolu dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("symbolic link") << QList<Member>{folder, {kApp + QStringLiteral("/lib"), Member::SymbolicLink, {},
                                                                QStringLiteral("@SANDBOX@"), 0777}}
                                       << QStringLiteral("lien dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("symbolic link, then a file through it")
            << QList<Member>{{QStringLiteral("sortie"), Member::SymbolicLink, {}, QStringLiteral("@SANDBOX@"), 0777},
                             {QStringLiteral("sortie/evil"), Member::File, "evil", {}, 0644}}
            << QStringLiteral("lien dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("hard link") << QList<Member>{folder, {kApp + QStringLiteral("/passwd"), Member::HardLink, {},
                                                            QStringLiteral("/etc/passwd"), 0644}}
                                   << QStringLiteral("lien dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("character device")
            << QList<Member>{folder, {kApp + QStringLiteral("/null"), Member::CharDevice, {}, {}, 0666}}
            << QStringLiteral("membre spécial (périphérique, tube…) dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("fifo") << QList<Member>{folder, {kApp + QStringLiteral("/tube"), Member::Fifo, {}, {}, 0644}}
                              << QStringLiteral("membre spécial (périphérique, tube…) dans l'archive") << QStringList() << 100
                              << big;
        QTest::newRow("member written twice") << QList<Member>{folder, program, program}
                                              << QStringLiteral("membre présent deux fois dans l'archive") << QStringList()
                                              << 100 << big;
        QTest::newRow("file, then a folder of that name")
            << QList<Member>{folder, program, {kApp + QStringLiteral("/ombry-voice/x"), Member::File, "x", {}, 0644}}
            << QStringLiteral("arborescence incohérente dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("too many members") << QList<Member>{folder, program, info}
                                          << QStringLiteral("archive trop grande (trop de membres)") << QStringList() << 2
                                          << big;
        QTest::newRow("deeper than allowed")
            << QList<Member>{{kApp + QStringLiteral("/a").repeated(40) + QStringLiteral("/f"), Member::File, "x", {}, 0644}}
            << QStringLiteral("arborescence trop profonde dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("name longer than allowed")
            << QList<Member>{{kApp + QString(QLatin1Char('/') + QString(250, QLatin1Char('n'))).repeated(5), Member::File, "x", {}, 0644}}
            << QStringLiteral("chemin trop long dans l'archive") << QStringList() << 100 << big;
        QTest::newRow("too many bytes")
            << QList<Member>{folder, {kApp + QStringLiteral("/gros"), Member::File, QByteArray(5000, 'z'), {}, 0644}}
            << QStringLiteral("archive trop grande") << QStringList() << 100 << qint64(4096);
    }

    void extract()
    {
        QFETCH(QList<Member>, members);
        QFETCH(QString, refusal);
        QFETCH(QStringList, top);
        QFETCH(int, maxEntries);
        QFETCH(qint64, maxBytes);

        QTemporaryDir sandbox;
        const QString destination = sandbox.path() + QStringLiteral("/dest");
        const QString archive = sandbox.path() + QStringLiteral("/a.tar.gz");
        QVERIFY(QDir().mkpath(destination));
        for (Member &member : members) {
            member.name.replace(QStringLiteral("@SANDBOX@"), sandbox.path());
            member.target.replace(QStringLiteral("@SANDBOX@"), sandbox.path());
        }
        QVERIFY(TestEnv::writeFile(archive, BundleKit::craft(members)));

        try {
            const QStringList names = Bundle::extract(archive, destination, Bundle::Limits{maxEntries, maxBytes});
            QVERIFY2(refusal.isEmpty(), "an archive that should be refused was extracted");
            QCOMPARE(names, top);
        } catch (const Bundle::Refused &refused) {
            QCOMPARE(refused.detail(), refusal);
            QCOMPARE(refused.kind(), Bundle::Refused::Kind::Archive);
        }
        // Nothing but the destination and the archive beside it.
        QCOMPARE(QDir(sandbox.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("a.tar.gz"), QStringLiteral("dest")}));
    }

    void extractUnreadable_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = BundleKit::craft({{kApp, Member::Folder, {}, {}, 0755},
                                                  {kApp + QStringLiteral("/ombry-voice"), Member::File,
                                                   QByteArray(200000, 'p'), {}, 0755}});
        QTest::newRow("not an archive") << QByteArrayLiteral("<html>Page introuvable</html>");
        QTest::newRow("cut in the middle") << good.left(good.size() / 2);
        QTest::newRow("empty") << QByteArray();
    }

    void extractUnreadable()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir sandbox;
        const QString archive = sandbox.path() + QStringLiteral("/a.tar.gz");
        QVERIFY(TestEnv::writeFile(archive, bytes));
        QVERIFY(QDir().mkpath(sandbox.path() + QStringLiteral("/dest")));
        bool refused = false;
        try {
            Bundle::extract(archive, sandbox.path() + QStringLiteral("/dest"));
        } catch (const Bundle::Refused &error) {
            refused = error.kind() == Bundle::Refused::Kind::Archive;
        }
        QVERIFY(refused);
    }

    // Modes come from the executable bit alone: no set-uid, no world-writable file.
    void extractedModes_data()
    {
        QTest::addColumn<int>("perm");
        QTest::addColumn<int>("mode");
        QTest::newRow("set-uid program") << 04755 << 0755;
        QTest::newRow("world-writable") << 0666 << 0644;
        QTest::newRow("owner-only program") << 0700 << 0755;
        QTest::newRow("private file") << 0600 << 0644;
    }

    void extractedModes()
    {
        QFETCH(int, perm);
        QFETCH(int, mode);
        QTemporaryDir sandbox;
        const QString archive = sandbox.path() + QStringLiteral("/a.tar.gz");
        QVERIFY(TestEnv::writeFile(archive, BundleKit::craft({{QStringLiteral("f"), Member::File, "x", {}, perm}})));
        Bundle::extract(archive, sandbox.path());
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(sandbox.path() + QStringLiteral("/f")).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), mode);
    }

    // What pack() writes, extract() gives back, and it still verifies.
    void packExtractVerify()
    {
        QTemporaryDir dir;
        const QString app = dir.path() + QLatin1Char('/') + kApp;
        QVERIFY(BundleKit::make(app, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("13"), programFiles()));
        Bundle::sign(app, TestKeys::secretKey());
        const QString archive = dir.path() + QStringLiteral("/r.tar.gz");
        Bundle::pack(app, archive);
        const QString out = dir.path() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(out));
        QCOMPARE(Bundle::extract(archive, out), QStringList{kApp});
        QCOMPARE(BundleKit::snapshot(out + QLatin1Char('/') + kApp), BundleKit::snapshot(app));
        QCOMPARE(Bundle::verify(out + QLatin1Char('/') + kApp, TestKeys::publicKey()).build, qint64(13));
    }

    void copyAndSwap()
    {
        QTemporaryDir dir;
        const QString installed = dir.path() + QLatin1Char('/') + kApp;
        const QString fresh = dir.path() + QStringLiteral("/fresh/") + kApp;
        const QString staging = dir.path() + QStringLiteral("/.") + kApp + QStringLiteral(".nouveau");
        QVERIFY(BundleKit::make(installed, Bundle::kIdentifier, QStringLiteral("1.2.0"), QStringLiteral("12"), programFiles()));
        QVERIFY(BundleKit::make(fresh, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("13"), programFiles()));
        const auto before = BundleKit::snapshot(installed);
        Bundle::copyTree(fresh, staging);
        QCOMPARE(BundleKit::snapshot(staging), BundleKit::snapshot(fresh));
        // The copy does not overwrite anything already there.
        QVERIFY_THROWS_EXCEPTION(Bundle::Refused, Bundle::copyTree(fresh, staging));

        const QString former = Bundle::swapIn(staging, installed);
        QCOMPARE(Bundle::readInfo(installed)->build, qint64(13));
        QCOMPARE(BundleKit::snapshot(former), before);
        QVERIFY(Bundle::removeTree(former));
        QVERIFY(!QFileInfo::exists(former));
    }

    void removeTreeKeepsLinkTargets()
    {
        QTemporaryDir dir;
        const QString kept = dir.path() + QStringLiteral("/kept");
        QVERIFY(TestEnv::writeFile(kept + QStringLiteral("/precious.txt"), "keep"));
        const QString doomed = dir.path() + QStringLiteral("/doomed");
        QVERIFY(QDir().mkpath(doomed));
        QVERIFY(QFile::link(kept, doomed + QStringLiteral("/link")));
        QVERIFY(Bundle::removeTree(doomed));
        QVERIFY(!QFileInfo::exists(doomed));
        QCOMPARE(TestEnv::readFile(kept + QStringLiteral("/precious.txt")), QByteArray("keep"));
    }

    // A tree deeper than the open-file limit: one descriptor per level would
    // run out half-way.
    void removeTreeDeeperThanOpenFiles()
    {
        QTemporaryDir dir;
        const QString top = dir.path() + QStringLiteral("/update-x");
        QVERIFY(TestEnv::writeFile(top + QStringLiteral("/d").repeated(150) + QStringLiteral("/gros"), "z"));
        QVERIFY(TestEnv::writeFile(top + QStringLiteral("/d/d/voisin"), "z"));
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        struct rlimit low = saved;
        low.rlim_cur = 64;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
        const bool removed = Bundle::removeTree(top);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QVERIFY(removed);
        QVERIFY(!QFileInfo::exists(top));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void bundleOfExecutable_data()
    {
        QTest::addColumn<bool>("withInfo");
        QTest::newRow("beside Info.json") << true;
        QTest::newRow("loose program") << false;
    }

    void bundleOfExecutable()
    {
        QFETCH(bool, withInfo);
        QTemporaryDir dir;
        const QString app = dir.path() + QLatin1Char('/') + kApp;
        QVERIFY(TestEnv::writeFile(app + QStringLiteral("/ombry-voice"), "x"));
        if (withInfo)
            QVERIFY(TestEnv::writeFile(app + QStringLiteral("/Info.json"), "{}"));
        QCOMPARE(Bundle::bundleOf(app + QStringLiteral("/ombry-voice")), withInfo ? app : QString());
    }

    // The signing tool, end to end: key pair, signature, check, archive.
    void signingTool()
    {
        QTemporaryDir dir;
        const QString secret = dir.path() + QStringLiteral("/release.secret");
        const Run keygen = runSign({QStringLiteral("keygen"), secret});
        QCOMPARE(keygen.exitCode, 0);
        const QString publicKey = keygen.out.trimmed();
        QCOMPARE(Bundle::keyFromHex(publicKey.toLatin1()).size(), 32);
        QCOMPARE(int(QFileInfo(secret).permissions().toInt() & 0x0077), 0); // group and others: nothing
        QCOMPARE(runSign({QStringLiteral("public"), secret}).out.trimmed(), publicKey);
        // Never overwrites a key.
        QCOMPARE(runSign({QStringLiteral("keygen"), secret}).exitCode, 1);

        const QString app = dir.path() + QLatin1Char('/') + kApp;
        QVERIFY(BundleKit::make(app, Bundle::kIdentifier, QStringLiteral("1.3.0"), QStringLiteral("13"), programFiles()));
        QCOMPARE(runSign({QStringLiteral("sign"), secret, app}).exitCode, 0);
        const Run good = runSign({QStringLiteral("verify"), app, publicKey});
        QCOMPARE(good.exitCode, 0);
        QCOMPARE(good.out, QStringLiteral("signature valide : com.corvanel.ombryvoice 1.3.0 (build 13)\n"));
        const Run stranger = runSign({QStringLiteral("verify"), app, QString::fromLatin1(TestKeys::publicKey().toHex())});
        QCOMPARE(stranger.exitCode, 1);
        QVERIFY2(stranger.err.contains(QStringLiteral("signature refusée")), qPrintable(stranger.err));

        const QString archive = dir.path() + QStringLiteral("/ombry-1.3.0.tar.gz");
        QCOMPARE(runSign({QStringLiteral("pack"), app, archive}).exitCode, 0);
        const QString out = dir.path() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(out));
        Bundle::extract(archive, out);
        QCOMPARE(Bundle::verify(out + QLatin1Char('/') + kApp, Bundle::keyFromHex(publicKey.toLatin1())).version,
                 QStringLiteral("1.3.0"));

        // The signature published beside the archive covers its every byte.
        QCOMPARE(runSign({QStringLiteral("sign-archive"), secret, archive}).exitCode, 0);
        const QByteArray signature = TestEnv::readFile(archive + QStringLiteral(".sig"));
        QCOMPARE(signature.size(), Bundle::kArchiveSignatureBytes);
        Bundle::verifyArchive(archive, signature, Bundle::keyFromHex(publicKey.toLatin1()));
        QVERIFY_THROWS_EXCEPTION(Bundle::Refused, Bundle::verifyArchive(archive, signature, TestKeys::publicKey()));
        QByteArray bytes = TestEnv::readFile(archive);
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
        QVERIFY(TestEnv::writeFile(archive, bytes));
        QVERIFY_THROWS_EXCEPTION(Bundle::Refused, Bundle::verifyArchive(archive, signature, Bundle::keyFromHex(publicKey.toLatin1())));
    }
};

OMBRY_TEST_MAIN(TestBundle)
#include "tst_bundle.moc"
