#include "model/KeyStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

class TestKeyStore : public QObject
{
    Q_OBJECT

    QTemporaryDir *dir_ = nullptr;

    QString file() const { return dir_->filePath(QStringLiteral("keys.json")); }
    static mode_t modeOf(const QString &path)
    {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
    }
    static QJsonObject jsonOf(const QString &path)
    {
        return QJsonDocument::fromJson(TestEnv::readFile(path)).object();
    }

private Q_SLOTS:
    void init()
    {
        dir_ = new QTemporaryDir;
        qunsetenv("OPENROUTER_API_KEY");
        qunsetenv("DEEPGRAM_API_KEY");
    }
    void cleanup()
    {
        delete dir_;
        qunsetenv("OPENROUTER_API_KEY");
        qunsetenv("DEEPGRAM_API_KEY");
    }

    void environmentKeyIsUsedAndNeverWritten()
    {
        qputenv("OPENROUTER_API_KEY", "sk-or-env");
        KeyStore ks(file());
        QCOMPARE(ks.key(APIService::OpenRouter), QStringLiteral("sk-or-env"));
        QCOMPARE(ks.key(APIService::Deepgram), std::nullopt);
        QVERIFY(!QFileInfo::exists(file()));
    }

    // Which source gives each key: the file first (as stored), then the environment.
    void sourcesInOrder_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("envDeepgram");
        QTest::addColumn<QByteArray>("envOpenRouter");
        QTest::addColumn<QString>("deepgram");
        QTest::addColumn<QString>("openRouter");
        QTest::newRow("file wins over environment")
            << QByteArray(R"({"deepgram":"dg-file","openRouter":"or-file"})") << QByteArray("dg-env")
            << QByteArray("or-env") << "dg-file" << "or-file";
        QTest::newRow("file text kept with its spaces")
            << QByteArray(R"({"openRouter":"  or-file \n"})") << QByteArray() << QByteArray() << ""
            << "  or-file \n";
        QTest::newRow("empty text in file falls to environment")
            << QByteArray(R"({"deepgram":""})") << QByteArray("dg-env") << QByteArray() << "dg-env" << "";
        QTest::newRow("unknown member ignored")
            << QByteArray(R"({"other":"x","deepgram":"dg"})") << QByteArray() << QByteArray() << "dg" << "";
        QTest::newRow("one non-string value empties the file")
            << QByteArray(R"({"deepgram":"dg","openRouter":5})") << QByteArray() << QByteArray() << "" << "";
        QTest::newRow("non-string value, environment still used")
            << QByteArray(R"({"deepgram":"dg","openRouter":5})") << QByteArray() << QByteArray("or-env") << ""
            << "or-env";
        QTest::newRow("not an object") << QByteArray(R"(["dg"])") << QByteArray() << QByteArray() << "" << "";
        QTest::newRow("not JSON") << QByteArray("deepgram=dg") << QByteArray("dg-env") << QByteArray() << "dg-env" << "";
    }
    void sourcesInOrder()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, envDeepgram);
        QFETCH(QByteArray, envOpenRouter);
        QFETCH(QString, deepgram);
        QFETCH(QString, openRouter);
        QVERIFY(TestEnv::writeFile(file(), content));
        ::chmod(QFile::encodeName(file()).constData(), 0640);
        const QDateTime before = QFileInfo(file()).lastModified();
        if (!envDeepgram.isEmpty())
            qputenv("DEEPGRAM_API_KEY", envDeepgram);
        if (!envOpenRouter.isEmpty())
            qputenv("OPENROUTER_API_KEY", envOpenRouter);

        KeyStore ks(file());
        QCOMPARE(ks.key(APIService::Deepgram).value_or(QString()), deepgram);
        QCOMPARE(ks.key(APIService::OpenRouter).value_or(QString()), openRouter);
        QCOMPARE(ks.keys().size(), int(!deepgram.isEmpty()) + int(!openRouter.isEmpty()));
        // Creation alone never touches the file.
        QCOMPARE(TestEnv::readFile(file()), content);
        QCOMPARE(QFileInfo(file()).lastModified(), before);
        QCOMPARE(modeOf(file()), mode_t(0640));
    }

    void saveTrimsAndWritesOwnerOnly()
    {
        const mode_t old = ::umask(0);
        {
            KeyStore ks(file());
            ks.save(QStringLiteral("  abc\n"), APIService::Deepgram);
            QCOMPARE(ks.key(APIService::Deepgram), QStringLiteral("abc"));
        }
        ::umask(old);
        QCOMPARE(TestEnv::readFile(file()), QByteArray(R"({"deepgram":"abc"})"));
        QCOMPARE(modeOf(file()), mode_t(0600));
        // No temporary file is left behind.
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keys.json")});
    }

    void saveRewritesWholeMap()
    {
        QVERIFY(TestEnv::writeFile(file(), R"({"openRouter":"or","junk":"x"})"));
        qputenv("DEEPGRAM_API_KEY", "dg-env");
        KeyStore ks(file());
        ks.save(QStringLiteral("or2"), APIService::OpenRouter);
        // The unknown member disappears; the environment key held now is written too.
        QCOMPARE(jsonOf(file()), QJsonObject({{"openRouter", "or2"}, {"deepgram", "dg-env"}}));
        ks.save(QStringLiteral(" \t \n"), APIService::OpenRouter);
        QCOMPARE(ks.key(APIService::OpenRouter), std::nullopt);
        QCOMPARE(jsonOf(file()), QJsonObject({{"deepgram", "dg-env"}}));
        ks.save(QString(), APIService::Deepgram);
        QCOMPARE(TestEnv::readFile(file()), QByteArray("{}"));
        QVERIFY(ks.keys().isEmpty());
    }

    void existingFileGetsOwnerOnlyModeOnSave()
    {
        QVERIFY(TestEnv::writeFile(file(), R"({"deepgram":"dg"})"));
        ::chmod(QFile::encodeName(file()).constData(), 0644);
        KeyStore ks(file());
        ks.save(QStringLiteral("or"), APIService::OpenRouter);
        QCOMPARE(modeOf(file()), mode_t(0600));
        QCOMPARE(jsonOf(file()), QJsonObject({{"deepgram", "dg"}, {"openRouter", "or"}}));
    }

    // Watches the folder while saving: every file that appears there, the
    // temporary one included, must already be owner-only.
    void temporaryFileIsNeverReadableByOthers()
    {
        const mode_t old = ::umask(0);
        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(fd >= 0);
        QVERIFY(::inotify_add_watch(fd, QFile::encodeName(dir_->path()).constData(), IN_CREATE) >= 0);
        std::atomic<bool> done = false;
        std::atomic<int> seen = 0, wide = 0;
        const QString folder = dir_->path();
        std::thread watcher([&] {
            alignas(inotify_event) char buf[4096];
            while (!done) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(fd, buf, sizeof buf);
                for (ssize_t i = 0; i < n;) {
                    const auto *ev = reinterpret_cast<const inotify_event *>(buf + i);
                    struct stat st {};
                    const QByteArray path = QFile::encodeName(folder) + '/' + QByteArray(ev->name);
                    if (ev->len && ::stat(path.constData(), &st) == 0) {
                        ++seen;
                        if (st.st_mode & 077)
                            ++wide;
                    }
                    i += ssize_t(sizeof(inotify_event) + ev->len);
                }
            }
        });
        {
            KeyStore ks(file());
            for (int i = 0; i < 60; ++i)
                ks.save(QStringLiteral("key-%1").arg(i) + QString(4000, QLatin1Char('k')), APIService::OpenRouter);
        }
        done = true;
        watcher.join();
        ::close(fd);
        ::umask(old);
        QCOMPARE(wide.load(), 0);
        QVERIFY2(seen > 0, "no temporary file was caught while it existed");
    }

    void failedWriteKeepsKeyInMemory()
    {
        // A path below a regular file cannot be written, not even by root.
        QVERIFY(TestEnv::writeFile(dir_->filePath(QStringLiteral("plain")), "x"));
        KeyStore ks(dir_->filePath(QStringLiteral("plain/keys.json")));
        ks.save(QStringLiteral("dg"), APIService::Deepgram);
        QCOMPARE(ks.key(APIService::Deepgram), QStringLiteral("dg"));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("plain")});
    }

    void observersAreToldOfChangesOnly()
    {
        KeyStore ks(file());
        QSignalSpy spy(&ks, &KeyStore::keysChanged);
        ks.save(QStringLiteral("dg"), APIService::Deepgram);
        QCOMPARE(spy.count(), 1);
        ks.setKeys(ks.keys());
        QCOMPARE(spy.count(), 1);
        ks.setKeys({{APIService::OpenRouter, QStringLiteral("or")}});
        QCOMPARE(spy.count(), 2);
        QCOMPARE(ks.key(APIService::Deepgram), std::nullopt);
        // An empty text is never held.
        ks.setKeys({{APIService::OpenRouter, QStringLiteral("or")}, {APIService::Deepgram, QString()}});
        QCOMPARE(spy.count(), 2);
        QCOMPARE(ks.keys().size(), 1);
        QCOMPARE(ks.property("keys").toMap(), QVariantMap({{QStringLiteral("openRouter"), QStringLiteral("or")}}));
    }

    void forgetAllEmptiesMemoryOnly()
    {
        KeyStore ks(file());
        ks.save(QStringLiteral("dg"), APIService::Deepgram);
        ks.save(QStringLiteral("or"), APIService::OpenRouter);
        const QByteArray written = TestEnv::readFile(file());
        QSignalSpy spy(&ks, &KeyStore::keysChanged);
        ks.forgetAll();
        QCOMPARE(spy.count(), 1);
        QVERIFY(ks.keys().isEmpty());
        QCOMPARE(ks.keyText(QStringLiteral("deepgram")), QString());
        QCOMPARE(TestEnv::readFile(file()), written);
        // After the erase deleted the file, the next save writes only what it holds.
        QFile::remove(file());
        ks.saveText(QStringLiteral("or2"), QStringLiteral("openRouter"));
        QCOMPARE(TestEnv::readFile(file()), QByteArray(R"({"openRouter":"or2"})"));
    }

    void readsFromAnotherThreadDuringSaves()
    {
        KeyStore ks(file());
        ks.save(QStringLiteral("k0"), APIService::Deepgram);
        std::atomic<bool> done = false;
        std::atomic<int> bad = 0;
        std::thread reader([&] {
            while (!done) {
                const auto k = ks.key(APIService::Deepgram);
                if (!k || !k->startsWith(QLatin1Char('k')))
                    ++bad;
                ks.keys();
            }
        });
        for (int i = 1; i < 150; ++i) {
            ks.save(QStringLiteral("k%1").arg(i), APIService::Deepgram);
            ks.setKeys({{APIService::Deepgram, QStringLiteral("k-%1").arg(i)}, {APIService::OpenRouter, QStringLiteral("o")}});
        }
        done = true;
        reader.join();
        QCOMPARE(bad.load(), 0);
    }
};

OMBRY_TEST_MAIN(TestKeyStore)
#include "tst_keystore.moc"
