#include "model/KeyStore.h"
#include "core/Log.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
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

    // A file that is not one object of strings is moved aside whole, said in the
    // journal, and never written over; its string members still serve.
    void unreadableFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("envOpenRouter");
        QTest::addColumn<QString>("deepgram");
        QTest::addColumn<QString>("openRouter");
        QTest::newRow("one non-string value keeps the others")
            << QByteArray(R"({"deepgram":"dg","openRouter":5})") << QByteArray() << "dg" << "";
        QTest::newRow("non-string value, environment still used")
            << QByteArray(R"({"deepgram":"dg","openRouter":5})") << QByteArray("or-env") << "dg" << "or-env";
        QTest::newRow("not an object") << QByteArray(R"(["dg"])") << QByteArray() << "" << "";
        QTest::newRow("not JSON") << QByteArray("deepgram=dg") << QByteArray() << "" << "";
    }

    // A FIFO in place of the file does not hang the start: it is set aside unread.
    void fifoInPlaceOfTheFile()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(file()).constData(), 0600), 0);
        KeyStore ks(file());
        QCOMPARE(ks.key(APIService::Deepgram), std::nullopt);
        QVERIFY(!ks.unreadableNotice().isEmpty());
        QVERIFY(!QFileInfo(file()).exists());
    }
    void unreadableFileIsSetAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, envOpenRouter);
        QFETCH(QString, deepgram);
        QFETCH(QString, openRouter);
        QVERIFY(TestEnv::writeFile(file(), content));
        if (!envOpenRouter.isEmpty())
            qputenv("OPENROUTER_API_KEY", envOpenRouter);

        KeyStore ks(file());
        QCOMPARE(ks.key(APIService::Deepgram).value_or(QString()), deepgram);
        QCOMPARE(ks.key(APIService::OpenRouter).value_or(QString()), openRouter);
        const QStringList aside = QDir(dir_->path()).entryList({QStringLiteral("keys.json.illisible-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(TestEnv::readFile(dir_->filePath(aside.first())), content);
        QVERIFY(!QFileInfo::exists(file()));
        Log::waitUntilWritten();
        QVERIFY(QString::fromUtf8(TestEnv::readFile(Log::path()))
                    .contains(QStringLiteral("clés: keys.json illisible, mis de côté sous ") + aside.first()));
        // And the settings say so.
        QVERIFY(ks.unreadableNotice().startsWith(QStringLiteral("Le fichier des clés était illisible : mis de côté dans ")
                                                 + aside.first()));

        // The next save writes a fresh file and leaves the set-aside one alone.
        QVERIFY(ks.save(QStringLiteral("or-new"), APIService::OpenRouter));
        QCOMPARE(jsonOf(file()).value(QStringLiteral("openRouter")).toString(), QStringLiteral("or-new"));
        QCOMPARE(TestEnv::readFile(dir_->filePath(aside.first())), content);
    }

    void saveTrimsAndWritesOwnerOnly()
    {
        const mode_t old = ::umask(0);
        {
            KeyStore ks(file());
            QVERIFY(ks.save(QStringLiteral("  abc\n"), APIService::Deepgram));
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
        QVERIFY(TestEnv::writeFile(file(), R"({"openRouter":"or","junk":"x","deepgram":"dg"})"));
        KeyStore ks(file());
        QVERIFY(ks.save(QStringLiteral("or2"), APIService::OpenRouter));
        // The unknown member disappears.
        QCOMPARE(jsonOf(file()), QJsonObject({{"openRouter", "or2"}, {"deepgram", "dg"}}));
        QVERIFY(ks.save(QStringLiteral(" \t \n"), APIService::OpenRouter));
        QCOMPARE(ks.key(APIService::OpenRouter), std::nullopt);
        QCOMPARE(jsonOf(file()), QJsonObject({{"deepgram", "dg"}}));
        QVERIFY(ks.save(QString(), APIService::Deepgram));
        QCOMPARE(TestEnv::readFile(file()), QByteArray("{}"));
        QVERIFY(ks.keys().isEmpty());
    }

    // A key taken from the environment is used but never written, whatever else is
    // saved; the user's own key for that service replaces it and is written.
    void environmentKeysStayOutOfTheFile_data()
    {
        QTest::addColumn<QByteArray>("content");      // keys.json before; empty = none
        QTest::addColumn<QByteArray>("envDeepgram");
        QTest::addColumn<QByteArray>("envOpenRouter");
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("another key saved") << QByteArray() << QByteArray() << QByteArray("sk-or-env")
                                           << "deepgram" << "dg-user" << QByteArray(R"({"deepgram":"dg-user"})");
        QTest::newRow("both from the environment, one saved")
            << QByteArray() << QByteArray("dg-env") << QByteArray("sk-or-env") << "deepgram" << "dg-user"
            << QByteArray(R"({"deepgram":"dg-user"})");
        QTest::newRow("the user replaces it") << QByteArray() << QByteArray() << QByteArray("sk-or-env")
                                              << "openRouter" << "sk-or-user" << QByteArray(R"({"openRouter":"sk-or-user"})");
        QTest::newRow("the user removes it") << QByteArray() << QByteArray() << QByteArray("sk-or-env")
                                             << "openRouter" << "" << QByteArray("{}");
        QTest::newRow("beside a stored key")
            << QByteArray(R"({"deepgram":"dg-file"})") << QByteArray() << QByteArray("sk-or-env") << "deepgram"
            << "dg-2" << QByteArray(R"({"deepgram":"dg-2"})");
        QTest::newRow("a stored key removed") << QByteArray(R"({"deepgram":"dg-file"})") << QByteArray()
                                              << QByteArray("sk-or-env") << "deepgram" << "" << QByteArray("{}");
    }
    void environmentKeysStayOutOfTheFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, envDeepgram);
        QFETCH(QByteArray, envOpenRouter);
        QFETCH(QString, service);
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        if (!content.isEmpty())
            QVERIFY(TestEnv::writeFile(file(), content));
        if (!envDeepgram.isEmpty())
            qputenv("DEEPGRAM_API_KEY", envDeepgram);
        if (!envOpenRouter.isEmpty())
            qputenv("OPENROUTER_API_KEY", envOpenRouter);
        {
            KeyStore ks(file());
            QVERIFY(ks.write(text, service));
            QCOMPARE(TestEnv::readFile(file()), written);
            // Keys from the environment are still used in this run.
            const APIService other = service == QLatin1String("deepgram") ? APIService::OpenRouter : APIService::Deepgram;
            const QByteArray otherEnv = other == APIService::Deepgram ? envDeepgram : envOpenRouter;
            if (!otherEnv.isEmpty())
                QCOMPARE(ks.key(other), QString::fromUtf8(otherEnv));
            // A second save does not bring them in either.
            QVERIFY(ks.write(text, service));
            QCOMPARE(TestEnv::readFile(file()), written);
        }
        // Without the environment the next start holds exactly what was written, and
        // with a changed environment the new value is used.
        qunsetenv("DEEPGRAM_API_KEY");
        qputenv("OPENROUTER_API_KEY", "sk-or-env-2");
        KeyStore again(file());
        const QJsonObject held = QJsonDocument::fromJson(written).object();
        QCOMPARE(again.key(APIService::Deepgram).value_or(QString()), held.value(QStringLiteral("deepgram")).toString());
        QCOMPARE(again.key(APIService::OpenRouter).value_or(QString()),
                 held.value(QStringLiteral("openRouter")).toString(QStringLiteral("sk-or-env-2")));
        QVERIFY(again.fromEnvironment(QStringLiteral("openRouter")) == !held.contains(QStringLiteral("openRouter")));
    }

    void existingFileGetsOwnerOnlyModeOnSave()
    {
        QVERIFY(TestEnv::writeFile(file(), R"({"deepgram":"dg"})"));
        ::chmod(QFile::encodeName(file()).constData(), 0644);
        KeyStore ks(file());
        QVERIFY(ks.save(QStringLiteral("or"), APIService::OpenRouter));
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
        int failed = 0;
        {
            KeyStore ks(file());
            for (int i = 0; i < 60; ++i)
                failed += !ks.save(QStringLiteral("key-%1").arg(i) + QString(4000, QLatin1Char('k')), APIService::OpenRouter);
        }
        done = true;
        watcher.join();
        ::close(fd);
        ::umask(old);
        QCOMPARE(failed, 0);
        QCOMPARE(wide.load(), 0);
        QVERIFY2(seen > 0, "no temporary file was caught while it existed");
    }

    // The caller learns whether the key reached the disk; either way it is held.
    void failedWriteIsReported_data()
    {
        QTest::addColumn<QString>("path"); // relative to the test folder
        QTest::addColumn<bool>("written");
        QTest::newRow("writable folder") << "keys.json" << true;
        // A path below a regular file cannot be written, not even by root.
        QTest::newRow("below a regular file") << "plain/keys.json" << false;
        QTest::newRow("missing folder") << "missing/keys.json" << false;
    }
    void failedWriteIsReported()
    {
        QFETCH(QString, path);
        QFETCH(bool, written);
        QVERIFY(TestEnv::writeFile(dir_->filePath(QStringLiteral("plain")), "x"));
        KeyStore ks(dir_->filePath(path));
        QCOMPARE(ks.save(QStringLiteral("dg"), APIService::Deepgram), written);
        QCOMPARE(ks.key(APIService::Deepgram), QStringLiteral("dg"));
        QCOMPARE(ks.write(QStringLiteral("or"), QStringLiteral("openRouter")), written);
        QCOMPARE(ks.key(APIService::OpenRouter), QStringLiteral("or"));
        QCOMPARE(QFileInfo::exists(dir_->filePath(path)), written);
        // No temporary file is left behind.
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), written ? 2 : 1);
        // An unknown service is refused.
        QVERIFY(!ks.write(QStringLiteral("x"), QStringLiteral("gemini")));
    }

    // What views may show of a key: whether it is set and its last four characters.
    void maskedForm_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("masked");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("long key") << "sk-or-v1-0123456789abcdef" << QStringLiteral("••••cdef");
        QTest::newRow("eight characters") << "12345678" << QStringLiteral("••••5678");
        // Shorter keys would show half or more of themselves.
        QTest::newRow("seven characters") << "1234567" << QStringLiteral("••••");
        QTest::newRow("one character") << "x" << QStringLiteral("••••");
        QTest::newRow("characters, not code units")
            << QStringLiteral("abcdefghe\u0301") << QStringLiteral("••••fghe\u0301");
    }
    void maskedForm()
    {
        QFETCH(QString, key);
        QFETCH(QString, masked);
        KeyStore ks(file());
        if (!key.isEmpty())
            ks.setKeys({{APIService::Deepgram, key}});
        QCOMPARE(ks.isSet(QStringLiteral("deepgram")), !key.isEmpty());
        QCOMPARE(ks.masked(QStringLiteral("deepgram")), masked);
        QVERIFY(!ks.isSet(QStringLiteral("openRouter")));
        QCOMPARE(ks.masked(QStringLiteral("openRouter")), QString());
        QCOMPARE(ks.masked(QStringLiteral("autre")), QString());
        QVariantMap expected;
        if (!key.isEmpty())
            expected.insert(QStringLiteral("deepgram"), masked);
        QCOMPARE(ks.property("masked").toMap(), expected);
    }

    // Nothing a view can read from the key store holds the key itself.
    void viewsNeverSeeTheKey()
    {
        const QString secret = QStringLiteral("sk-or-v1-secretvalue-4242");
        qputenv("DEEPGRAM_API_KEY", "dg-secretvalue-from-env");
        KeyStore ks(file());
        QVERIFY(ks.save(secret, APIService::OpenRouter));
        const auto reveals = [](const QVariant &value) {
            const QByteArray json = QJsonDocument(QJsonArray{QJsonValue::fromVariant(value)}).toJson();
            return json.contains("secretvalue");
        };
        const QMetaObject *meta = ks.metaObject();
        int seen = 0;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            ++seen;
            QVERIFY2(!reveals(meta->property(i).read(&ks)), meta->property(i).name());
        }
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod m = meta->method(i);
            if (m.access() != QMetaMethod::Public || m.methodType() == QMetaMethod::Signal
                || m.returnMetaType() == QMetaType::fromType<void>() || m.parameterCount() != 1
                || m.parameterMetaType(0) != QMetaType::fromType<QString>())
                continue;
            for (const QString &service : {QStringLiteral("openRouter"), QStringLiteral("deepgram")}) {
                ++seen;
                QVariant result(m.returnMetaType());
                QVERIFY(m.invoke(&ks, Qt::DirectConnection,
                                 QGenericReturnArgument(m.returnMetaType().name(), result.data()), Q_ARG(QString, service)));
                QVERIFY2(!reveals(result), m.methodSignature().constData());
            }
        }
        QVERIFY(seen >= 4);
    }

    void observersAreToldOfChangesOnly()
    {
        KeyStore ks(file());
        QSignalSpy spy(&ks, &KeyStore::keysChanged);
        QVERIFY(ks.save(QStringLiteral("dg"), APIService::Deepgram));
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
        QCOMPARE(ks.property("masked").toMap(), QVariantMap({{QStringLiteral("openRouter"), QStringLiteral("••••")}}));
    }

    void forgetAllEmptiesMemoryOnly()
    {
        KeyStore ks(file());
        QVERIFY(ks.save(QStringLiteral("dg"), APIService::Deepgram));
        QVERIFY(ks.save(QStringLiteral("or"), APIService::OpenRouter));
        const QByteArray written = TestEnv::readFile(file());
        QSignalSpy spy(&ks, &KeyStore::keysChanged);
        ks.forgetAll();
        QCOMPARE(spy.count(), 1);
        QVERIFY(ks.keys().isEmpty());
        QVERIFY(!ks.isSet(QStringLiteral("deepgram")));
        QCOMPARE(TestEnv::readFile(file()), written);
        // After the erase deleted the file, the next save writes only what it holds.
        QFile::remove(file());
        QVERIFY(ks.write(QStringLiteral("or2"), QStringLiteral("openRouter")));
        QCOMPARE(TestEnv::readFile(file()), QByteArray(R"({"openRouter":"or2"})"));
    }

    void readsFromAnotherThreadDuringSaves()
    {
        KeyStore ks(file());
        QVERIFY(ks.save(QStringLiteral("k0"), APIService::Deepgram));
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
        int failed = 0;
        for (int i = 1; i < 150; ++i) {
            failed += !ks.save(QStringLiteral("k%1").arg(i), APIService::Deepgram);
            ks.setKeys({{APIService::Deepgram, QStringLiteral("k-%1").arg(i)}, {APIService::OpenRouter, QStringLiteral("o")}});
        }
        done = true;
        reader.join();
        QCOMPARE(failed, 0);
        QCOMPARE(bad.load(), 0);
    }
};

OMBRY_TEST_MAIN(TestKeyStore)
#include "tst_keystore.moc"
