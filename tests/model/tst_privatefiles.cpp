#include "core/PrivateFiles.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// The one rule behind every delete, mode change and upload of the program: a
// regular file of its own inside the data folder, reached without following a link.
class TestPrivateFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp_;
    QString root_;    // the data folder
    QString outside_; // the user's other files

    static mode_t modeOf(const QString &path)
    {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    }

    // Builds the entry `relative` of the data folder as `kind` says; the file
    // outside that a link or hard link leads to is outside_/secret.txt (0644).
    void make(const QString &kind, const QString &relative)
    {
        const QString path = root_ + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray target = QFile::encodeName(outside_ + QStringLiteral("/secret.txt"));
        if (kind == QLatin1String("file")) {
            QVERIFY(TestEnv::writeFile(path, "RIFF"));
            ::chmod(QFile::encodeName(path).constData(), 0644);
        } else if (kind == QLatin1String("link")) {
            QCOMPARE(::symlink(target.constData(), QFile::encodeName(path).constData()), 0);
        } else if (kind == QLatin1String("hard link")) {
            QCOMPARE(::link(target.constData(), QFile::encodeName(path).constData()), 0);
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        }
    }

private Q_SLOTS:
    void init()
    {
        root_ = tmp_.filePath(QStringLiteral("data"));
        outside_ = tmp_.filePath(QStringLiteral("home"));
        QDir(root_).removeRecursively();
        QDir(outside_).removeRecursively();
        QVERIFY(QDir().mkpath(root_));
        QVERIFY(QDir().mkpath(outside_));
        QVERIFY(TestEnv::writeFile(outside_ + QStringLiteral("/secret.txt"), "mot de passe"));
        ::chmod(QFile::encodeName(outside_ + QStringLiteral("/secret.txt")).constData(), 0644);
    }

    void rule_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("audioIsLink"); // "Audio" itself a link to the user's folder
        QTest::addColumn<bool>("owned");
        QTest::newRow("recording") << "file" << "Audio/A.wav" << false << true;
        QTest::newRow("data file") << "file" << "history.json" << false << true;
        QTest::newRow("link to a file outside") << "link" << "Audio/A.wav" << false << false;
        QTest::newRow("hard link to a file outside") << "hard link" << "Audio/A.wav" << false << false;
        QTest::newRow("fifo") << "fifo" << "history.json" << false << false;
        QTest::newRow("folder") << "folder" << "Audio/A.wav" << false << false;
        QTest::newRow("file of a linked Audio") << "none" << "Audio/secret.txt" << true << false;
        QTest::newRow("climbing out") << "none" << "../home/secret.txt" << false << false;
        QTest::newRow("missing") << "none" << "Audio/B.wav" << false << false;
    }

    void rule()
    {
        QFETCH(QString, kind);
        QFETCH(QString, relative);
        QFETCH(bool, audioIsLink);
        QFETCH(bool, owned);
        if (audioIsLink)
            QCOMPARE(::symlink(QFile::encodeName(outside_).constData(), QFile::encodeName(root_ + "/Audio").constData()), 0);
        make(kind, relative);
        const QString secret = outside_ + QStringLiteral("/secret.txt");
        const QString path = root_ + QLatin1Char('/') + relative;

        QCOMPARE(PrivateFiles::isOwned(root_, relative), owned);
        const QString folder = relative.contains(QLatin1Char('/')) ? relative.section(QLatin1Char('/'), 0, -2) : QString();
        QCOMPARE(PrivateFiles::ownedFiles(root_, folder).contains(relative.section(QLatin1Char('/'), -1)), owned);
        // Sent away only when owned, and only up to its bound.
        const std::optional<QByteArray> read = PrivateFiles::readOwned(root_, relative, 1 << 20);
        QCOMPARE(read.has_value(), owned);
        if (owned) {
            QCOMPARE(*read, QByteArray("RIFF"));
            QVERIFY(!PrivateFiles::readOwned(root_, relative, 3));
        }
        PrivateFiles::tightenOwned(root_, relative);
        QCOMPARE(modeOf(secret), mode_t(0644));
        if (owned)
            QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(PrivateFiles::removeOwned(root_, relative), owned);
        QCOMPARE(TestEnv::readFile(secret), QByteArray("mot de passe"));
        if (owned)
            QVERIFY(!QFileInfo::exists(path));
        else if (kind != QLatin1String("none"))
            QVERIFY(QFileInfo(path).exists() || QFileInfo(path).isSymLink()); // left as it was
        // The folder goes only with what is the program's own.
        PrivateFiles::removeOwnedFolder(root_, QStringLiteral("Audio"));
        QCOMPARE(TestEnv::readFile(secret), QByteArray("mot de passe"));
    }

    // A data folder that is itself a link is not one to delete from.
    void linkedRootIsRefused()
    {
        make(QStringLiteral("file"), QStringLiteral("history.json"));
        const QString linked = tmp_.filePath(QStringLiteral("linked"));
        QFile::remove(linked);
        QCOMPARE(::symlink(QFile::encodeName(root_).constData(), QFile::encodeName(linked).constData()), 0);
        QVERIFY(!PrivateFiles::removeOwned(linked, QStringLiteral("history.json")));
        QVERIFY(QFileInfo::exists(root_ + QStringLiteral("/history.json")));
    }

    // "Audio" made a link or a file is set aside, never written through.
    void ensureOwnFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("missing") << "none" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("link to the user's folder") << "link" << true;
        QTest::newRow("file") << "file" << true;
    }
    void ensureOwnFolder()
    {
        QFETCH(QString, kind);
        QFETCH(bool, setAside);
        if (kind == QLatin1String("link"))
            QCOMPARE(::symlink(QFile::encodeName(outside_).constData(), QFile::encodeName(root_ + "/Audio").constData()), 0);
        else
            make(kind, QStringLiteral("Audio"));
        QVERIFY(PrivateFiles::ensureOwnFolder(root_, QStringLiteral("Audio")));
        const QFileInfo audio(root_ + QStringLiteral("/Audio"));
        QVERIFY(audio.isDir() && !audio.isSymLink());
        QCOMPARE(modeOf(audio.filePath()), mode_t(0700));
        QCOMPARE(QDir(root_).entryList({QStringLiteral("Audio.illisible-*")}, QDir::AllEntries | QDir::System).size(),
                 setAside ? 1 : 0);
        QCOMPARE(QDir(outside_).entryList(QDir::Files), QStringList{QStringLiteral("secret.txt")});
    }

    // What a data file may be read from: a FIFO or a device would hang the start.
    void readData_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("error");
        QTest::newRow("file") << "file" << true << 0;
        QTest::newRow("missing") << "none" << false << ENOENT;
        QTest::newRow("fifo") << "fifo" << false << EINVAL;
        QTest::newRow("folder") << "folder" << false << EINVAL;
        QTest::newRow("link to /dev/zero") << "zero" << false << EINVAL;
    }
    void readData()
    {
        QFETCH(QString, kind);
        QFETCH(bool, read);
        QFETCH(int, error);
        const QString path = root_ + QStringLiteral("/history.json");
        if (kind == QLatin1String("zero"))
            QCOMPARE(::symlink("/dev/zero", QFile::encodeName(path).constData()), 0);
        else
            make(kind, QStringLiteral("history.json"));
        int got = 0;
        const std::optional<QByteArray> data = PrivateFiles::readData(path, &got);
        QCOMPARE(data.has_value(), read);
        if (!read)
            QCOMPARE(got, error);
    }

    // A write the disk refuses (here the process's file size limit, as a full disk
    // would) keeps the old content, leaves no temporary file and says why.
    void writeFailureKeepsTheOldContent_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<qint64>("sizeLimit"); // 0: none
        QTest::addColumn<int>("error");
        QTest::newRow("written") << "" << qint64(0) << 0;
        QTest::newRow("past the size the disk takes") << "" << qint64(4096) << int(EFBIG);
        QTest::newRow("folder gone") << "/gone" << qint64(0) << int(ENOENT);
    }
    void writeFailureKeepsTheOldContent()
    {
        QFETCH(QString, folder);
        QFETCH(qint64, sizeLimit);
        QFETCH(int, error);
        const QString path = root_ + folder + QStringLiteral("/history.json");
        if (folder.isEmpty())
            QVERIFY(TestEnv::writeFile(path, "ancien"));
        const QByteArray data(64 * 1024, 'n');
        struct rlimit before {};
        ::getrlimit(RLIMIT_FSIZE, &before);
        const auto signal = std::signal(SIGXFSZ, SIG_IGN);
        if (sizeLimit) {
            struct rlimit small = before;
            small.rlim_cur = rlim_t(sizeLimit);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        int got = -1;
        const bool written = PrivateFiles::write(path, data, &got);
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, signal);
        QCOMPARE(written, error == 0);
        if (error) {
            QCOMPARE(got, error);
            if (folder.isEmpty())
                QCOMPARE(TestEnv::readFile(path), QByteArray("ancien"));
        } else {
            QCOMPARE(TestEnv::readFile(path), data);
            QCOMPARE(modeOf(path), mode_t(0600));
        }
        QCOMPARE(QDir(root_).entryList({QStringLiteral(".history.json.*")}, QDir::Files | QDir::Hidden), QStringList());
    }

    void temporaryTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("target");
        QTest::newRow("cut write") << ".history.json.a1B2c3" << "history.json";
        QTest::newRow("recording") << ".0A1B.wav.Zz09xY" << "0A1B.wav";
        QTest::newRow("the file itself") << "history.json" << "";
        QTest::newRow("short suffix") << ".history.json.a1B2" << "";
        QTest::newRow("not a temporary") << ".hidden" << "";
    }
    void temporaryTarget()
    {
        QFETCH(QString, name);
        QFETCH(QString, target);
        QCOMPARE(PrivateFiles::temporaryTarget(name), target);
    }
};

OMBRY_TEST_MAIN(TestPrivateFiles)
#include "tst_privatefiles.moc"
