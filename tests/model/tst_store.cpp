#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "model/StoreIo.h"
#include "core/PrivateFiles.h"
#include "model/UnreadableNotice.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSemaphore>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <cerrno>

#include <sys/stat.h>

namespace {

Dictation dictation(const QString &text, const QDateTime &date, std::optional<QString> audio = std::nullopt)
{
    Dictation d;
    d.date = date;
    d.appName = QStringLiteral("Notes");
    d.finalText = text;
    d.rawText = text;
    d.duration = 3;
    d.audioFile = audio;
    return d;
}

QDateTime now()
{
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

QStringList setAsideFiles(const QString &dir, const QString &file)
{
    return QDir(dir).entryList({file + QStringLiteral(".illisible-*")}, QDir::Files);
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunCreatesFoldersAndWritesNothing()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.path() + QStringLiteral("/Ombry Voice");
        Store store(dir);
        QVERIFY(QFileInfo(dir + QStringLiteral("/Audio")).isDir());
        QVERIFY(store.dictations().isEmpty() && store.words().isEmpty() && store.costs().isEmpty());
        QTest::qWait(600);
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList());
    }

    void everyCollectionRoundTripsThroughItsFile()
    {
        QTemporaryDir tmp;
        Dictation d = dictation(QStringLiteral("Bonjour à tous"), now(), QStringLiteral("A.wav"));
        d.bundleID = QStringLiteral("org.gnome.TextEditor");
        CorrectionRecord record;
        record.date = now();
        record.appName = QStringLiteral("Ombry Voice");
        record.action = QStringLiteral("Corriger");
        record.original = QStringLiteral("il sont");
        record.result = QStringLiteral("ils sont");
        Fix f;
        f.original = QStringLiteral("il");
        f.correction = QStringLiteral("ils");
        f.kind = QStringLiteral("accord");
        record.fixes = {f};
        Meeting meeting;
        meeting.date = now();
        meeting.title = QStringLiteral("Réunion");
        meeting.tasks = {QStringLiteral("Tâche")};
        {
            Store store(tmp.path());
            store.add(d);
            store.setWords({QStringLiteral("Kubernetes"), QStringLiteral("Ombry")});
            store.setCorrections({{QUuid::createUuid(), QStringLiteral("chat"), QStringLiteral("Chat GPT")}});
            store.addFix(record);
            store.setSnippets({{QUuid::createUuid(), QStringLiteral("ma signature"), QStringLiteral("Jean")}});
            store.addCost(0.0125);
            store.setMeetings({meeting});
            store.flush();
            for (const char *file : {"history.json", "words.json", "corrections.json", "fixes.json", "snippets.json",
                                     "costs.json", "meetings.json"})
                QVERIFY2(QFile::exists(tmp.filePath(QString::fromLatin1(file))), file);
            const QJsonArray history = QJsonDocument::fromJson(TestEnv::readFile(tmp.filePath("history.json"))).array();
            QCOMPARE(history.size(), 1);
            QCOMPARE(history.at(0).toObject().value("id").toString(), uuidText(d.id));
            QCOMPARE(TestEnv::readFile(tmp.filePath("words.json")), QByteArray("[\"Kubernetes\",\"Ombry\"]"));
        }
        Store again(tmp.path());
        QCOMPARE(again.dictations(), QList<Dictation>{d});
        QCOMPARE(again.words(), (QStringList{QStringLiteral("Kubernetes"), QStringLiteral("Ombry")}));
        QCOMPARE(again.corrections().size(), 1);
        QCOMPARE(again.fixes(), QList<CorrectionRecord>{record});
        QCOMPARE(again.snippets().size(), 1);
        QCOMPARE(again.costs().size(), 1);
        QCOMPARE(again.costs().first().amount, 0.0125);
        QCOMPARE(again.meetings(), QList<Meeting>{meeting});
        QCOMPARE(again.totalWords(), qint64(3));
    }

    // A file that exists but cannot be used loads empty and is moved aside untouched.
    void unreadableFileIsSetAsideAndSurvives_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("truncated history") << QStringLiteral("history.json")
                                           << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"20");
        QTest::newRow("fractional seconds")
            << QStringLiteral("history.json")
            << QByteArray("[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"date\":\"2026-01-02T03:04:05.5Z\","
                          "\"appName\":\"a\",\"finalText\":\"a\",\"rawText\":\"a\",\"duration\":1}]");
        QTest::newRow("words of the wrong type") << QStringLiteral("words.json") << QByteArray("{\"a\":1}");
        QTest::newRow("empty costs") << QStringLiteral("costs.json") << QByteArray();
    }
    void unreadableFileIsSetAsideAndSurvives()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QTemporaryDir tmp;
        QVERIFY(TestEnv::writeFile(tmp.filePath(file), bytes));
        Log::waitUntilWritten();
        const QByteArray logBefore = TestEnv::readFile(Log::path());
        {
            Store store(tmp.path());
            QVERIFY(store.dictations().isEmpty() && store.words().isEmpty() && store.costs().isEmpty());
            QVERIFY(!QFile::exists(tmp.filePath(file)));
            const QStringList aside = setAsideFiles(tmp.path(), file);
            QCOMPARE(aside.size(), 1);
            QCOMPARE(TestEnv::readFile(tmp.filePath(aside.first())), bytes);

            // New data does not touch the set-aside bytes.
            store.add(dictation(QStringLiteral("nouvelle dictée"), now()));
            store.setWords({QStringLiteral("mot")});
            store.addCost(1);
            store.flush();
            QCOMPARE(TestEnv::readFile(tmp.filePath(aside.first())), bytes);
            QCOMPARE(setAsideFiles(tmp.path(), file).size(), 1);
        }
        Log::waitUntilWritten();
        const QByteArray logAfter = TestEnv::readFile(Log::path()).mid(logBefore.size());
        QVERIFY2(logAfter.contains(QByteArray("stockage: " + file.toUtf8())), logAfter.constData());
        // The next start reads the new file normally and sets nothing more aside.
        Store again(tmp.path());
        QCOMPARE(setAsideFiles(tmp.path(), file).size(), 1);
        QCOMPARE(again.dictations().size() + again.words().size() + again.costs().size(), 3);
    }

    void fileThatCannotBeOpenedIsSetAside()
    {
        // A folder where the file should be: it exists but cannot be read.
        QTemporaryDir tmp;
        QVERIFY(QDir().mkpath(tmp.filePath("snippets.json/inside")));
        Store store(tmp.path());
        QCOMPARE(setAsideFiles(tmp.path(), QStringLiteral("snippets.json")).size(), 0); // Files only
        QVERIFY(!QFileInfo::exists(tmp.filePath("snippets.json")));
        store.setSnippets({{QUuid::createUuid(), QStringLiteral("x"), QStringLiteral("y")}});
        store.flush();
        QVERIFY(QFileInfo(tmp.filePath("snippets.json")).isFile());
        const QStringList aside = QDir(tmp.path()).entryList({QStringLiteral("snippets.json.illisible-*")}, QDir::Dirs);
        QCOMPARE(aside.size(), 1);
        QVERIFY(QFileInfo::exists(tmp.filePath(aside.first() + QStringLiteral("/inside"))));
    }

    void burstOfChangesWritesOnceWithTheLastList()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        QSignalSpy written(&store, &Store::fileWritten);
        QElapsedTimer clock;
        clock.start();
        store.setWords({QStringLiteral("premier")});
        QTest::qWait(200);
        store.setWords({QStringLiteral("second")});
        const qint64 secondAt = clock.elapsed();
        QVERIFY(TestEnv::waitFor([&] { return written.count() >= 1; }, 5000));
        QVERIFY(clock.elapsed() - secondAt >= 390);
        QTest::qWait(600);
        QCOMPARE(written.count(), 1);
        QCOMPARE(written.first().first().toString(), QStringLiteral("words.json"));
        QCOMPARE(TestEnv::readFile(tmp.filePath("words.json")), QByteArray("[\"second\"]"));
    }

    void equalAssignmentStillSavesButDoesNotNotify()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        store.setWords({QStringLiteral("a")});
        store.flush();
        QFile::remove(tmp.filePath("words.json"));
        QSignalSpy changed(&store, &Store::wordsChanged);
        store.setWords({QStringLiteral("a")});
        QCOMPARE(changed.count(), 0);
        store.flush();
        QCOMPARE(TestEnv::readFile(tmp.filePath("words.json")), QByteArray("[\"a\"]"));
    }

    void changesToDifferentFilesDoNotCancelEachOther()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        QSignalSpy written(&store, &Store::fileWritten);
        store.setWords({QStringLiteral("a")});
        store.addCost(0.5);
        store.addFix(CorrectionRecord{});
        QVERIFY(TestEnv::waitFor([&] { return written.count() >= 3; }, 5000));
        QStringList files;
        for (const auto &args : written)
            files << args.first().toString();
        files.sort();
        QCOMPARE(files, (QStringList{"costs.json", "fixes.json", "words.json"}));
    }

    void quittingSoonAfterAChangeStillWritesIt()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        store.setWords({QStringLiteral("à la sortie")});
        QTest::qWait(100); // then the application quits
        store.flush();
        QCOMPARE(TestEnv::readFile(tmp.filePath("words.json")), QByteArray("[\"à la sortie\"]"));
        // A second flush with nothing scheduled returns at once and writes nothing.
        QFile::remove(tmp.filePath("words.json"));
        store.flush();
        QVERIFY(!QFile::exists(tmp.filePath("words.json")));
    }

    void failedWriteIsTriedAgain()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        // A folder in the way: the atomic replace fails.
        QVERIFY(QDir().mkpath(tmp.filePath("words.json/bloque")));
        Log::waitUntilWritten();
        const qsizetype logBefore = TestEnv::readFile(Log::path()).size();
        store.setWords({QStringLiteral("sauvé")});
        // Waited for, not timed: a loaded machine writes late.
        QVERIFY(TestEnv::waitFor([&] {
            Log::waitUntilWritten();
            return TestEnv::readFile(Log::path()).mid(logBefore).contains("stockage: words.json non écrit");
        }, 10000));
        QVERIFY(QFileInfo(tmp.filePath("words.json")).isDir());
        QVERIFY(QDir(tmp.filePath("words.json")).removeRecursively());
        store.flush(); // at quit, the failed save gets its last chance
        QCOMPARE(TestEnv::readFile(tmp.filePath("words.json")), QByteArray("[\"sauvé\"]"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{QStringLiteral("words.json")}); // no temporary left
    }

    void destroyingTheStoreWritesWhatIsScheduled()
    {
        QTemporaryDir tmp;
        {
            Store store(tmp.path());
            store.add(dictation(QStringLiteral("un deux"), now()));
        }
        QCOMPARE(QJsonDocument::fromJson(TestEnv::readFile(tmp.filePath("history.json"))).array().size(), 1);
    }

    void writesHappenOnTheStoreThread()
    {
        // The save encodes on "ombry.store.io": the main thread only schedules.
        QTemporaryDir tmp;
        Store store(tmp.path());
        QList<Dictation> big;
        for (int i = 0; i < 2000; ++i)
            big.append(dictation(QStringLiteral("mot %1").arg(i), now()));
        store.setDictations(big);
        QVERIFY(!QFile::exists(tmp.filePath("history.json")));
        // The newer save replaces the waiting one.
        store.add(dictation(QStringLiteral("après"), now()));
        QTest::qWait(50);
        store.flush();
        QCOMPARE(QJsonDocument::fromJson(TestEnv::readFile(tmp.filePath("history.json"))).array().size(), 2001);
    }

    void pruneAudioDeletesOnlyOlderThanThirtyDays()
    {
        QTemporaryDir tmp;
        const QDateTime t = now();
        QList<Dictation> list = {
            dictation(QStringLiteral("récente"), t.addDays(-29), QStringLiteral("new.wav")),
            dictation(QStringLiteral("au seuil"), t.addSecs(-2592000 + 5), QStringLiteral("edge.wav")),
            dictation(QStringLiteral("vieille"), t.addDays(-31), QStringLiteral("old.wav")),
            dictation(QStringLiteral("vieille sans son"), t.addDays(-40)),
            // Kept without text: its recording is all there is of it.
            dictation(QString(), t.addDays(-31), QStringLiteral("kept.wav")),
        };
        {
            Store seed(tmp.path());
            for (const char *f : {"new.wav", "edge.wav", "old.wav", "kept.wav"})
                QVERIFY(seed.writeRecording(QString::fromLatin1(f), QByteArray(44, '\0')));
            seed.setDictations(list);
        }
        Store store(tmp.path());
        QSignalSpy written(&store, &Store::fileWritten);
        store.pruneAudio();
        store.flush();
        QVERIFY(QFile::exists(tmp.filePath("Audio/new.wav")));
        QVERIFY(QFile::exists(tmp.filePath("Audio/edge.wav")));
        QVERIFY(!QFile::exists(tmp.filePath("Audio/old.wav")));
        QVERIFY(QFile::exists(tmp.filePath("Audio/kept.wav")));
        QCOMPARE(store.dictations().size(), 5);
        QCOMPARE(store.dictations().at(4).audioFile, std::optional<QString>(QStringLiteral("kept.wav")));
        QCOMPARE(store.dictations().at(2).audioFile, std::nullopt);
        QCOMPARE(store.dictations().at(0).audioFile, std::optional<QString>(QStringLiteral("new.wav")));
        QVERIFY(store.audioURL(store.dictations().at(0)).isLocalFile());
        QVERIFY(store.audioURL(store.dictations().at(2)).isEmpty());

        // Nothing left to prune: no rewrite of the history.
        QCoreApplication::processEvents();
        written.clear();
        store.pruneAudio();
        QTest::qWait(600);
        QCOMPARE(written.count(), 0);
    }

    void audioURLOfARecordingDeletedByHandIsEmpty()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        QVERIFY(store.writeRecording(QStringLiteral("X.wav"), "RIFF"));
        const Dictation d = dictation(QStringLiteral("a"), now(), QStringLiteral("X.wav"));
        QCOMPARE(store.audioURL(d), QUrl::fromLocalFile(tmp.filePath("Audio/X.wav")));
        QFile::remove(tmp.filePath("Audio/X.wav"));
        QVERIFY(store.audioURL(d).isEmpty());
        QVERIFY(!store.writeRecording(QStringLiteral("../evil.wav"), "RIFF"));
        QVERIFY(!QFile::exists(tmp.filePath("evil.wav")));
    }

    // A recording saved on the store's thread: written once flushed, also after
    // an erase removed its folder; a name that is not a plain file name writes nothing.
    void saveRecordingOnTheStoreThread_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("eraseFirst");
        QTest::addColumn<bool>("written");
        QTest::newRow("plain name") << "0F1E2D3C-0000-4000-8000-000000000001.wav" << false << true;
        QTest::newRow("after an erase") << "A.wav" << true << true;
        QTest::newRow("parent folder") << "../evil.wav" << false << false;
        QTest::newRow("sub-folder") << "x/evil.wav" << false << false;
        QTest::newRow("empty") << "" << false << false;
    }
    void saveRecordingOnTheStoreThread()
    {
        QFETCH(QString, name);
        QFETCH(bool, eraseFirst);
        QFETCH(bool, written);
        QTemporaryDir tmp;
        Store store(tmp.path());
        if (eraseFirst)
            store.eraseEverything();
        const QByteArray wav = QByteArray("RIFF") + QByteArray(2000, '\x5');
        store.saveRecording(name, wav);
        store.flush();
        if (written)
            QCOMPARE(TestEnv::readFile(tmp.filePath(QStringLiteral("Audio/") + name)), wav);
        QStringList files;
        QDirIterator it(tmp.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(tmp.path()).relativeFilePath(it.next());
        QCOMPARE(files, written ? QStringList{QStringLiteral("Audio/") + name} : QStringList{});
    }

    void clearHistoryEmptiesBothHistoriesAndRecordings()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        QVERIFY(store.writeRecording(QStringLiteral("A.wav"), "RIFF"));
        store.add(dictation(QStringLiteral("un deux trois"), now(), QStringLiteral("A.wav")));
        store.addFix(CorrectionRecord{});
        store.setWords({QStringLiteral("garde")});
        store.clearHistory();
        QVERIFY(!QFile::exists(tmp.filePath("Audio/A.wav")));
        QVERIFY(store.dictations().isEmpty() && store.fixes().isEmpty());
        QCOMPARE(store.totalWords(), qint64(0));
        store.flush();
        QCOMPARE(TestEnv::readFile(tmp.filePath("history.json")), QByteArray("[]"));
        QCOMPARE(TestEnv::readFile(tmp.filePath("fixes.json")), QByteArray("[]"));
        QCOMPARE(store.words(), QStringList{QStringLiteral("garde")});
    }

    // A recording name that is not a plain file name never reaches a path: clearing,
    // pruning and locating leave whatever it points at alone.
    void recordingNamesNeverLeaveTheAudioFolder_data()
    {
        QTest::addColumn<QString>("audioFile");
        QTest::addColumn<bool>("fromFile"); // read from history.json, else assigned in memory
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("victim"); // relative to the data folder
        QTest::newRow("history file, clear") << "../../victim" << true << "clear" << "../victim";
        QTest::newRow("history file, prune") << "../../victim" << true << "prune" << "../victim";
        QTest::newRow("in memory, clear") << "../../victim" << false << "clear" << "../victim";
        QTest::newRow("in memory, prune") << "../../victim" << false << "prune" << "../victim";
        QTest::newRow("in memory, locate") << "../../victim" << false << "locate" << "../victim";
        QTest::newRow("key file, clear") << "../keys.json" << false << "clear" << "keys.json";
        QTest::newRow("key file, prune") << "../keys.json" << false << "prune" << "keys.json";
        QTest::newRow("log, prune") << "../journal.log" << false << "prune" << "journal.log";
        QTest::newRow("leading slash, clear") << "/../victim" << false << "clear" << "victim";
    }
    void recordingNamesNeverLeaveTheAudioFolder()
    {
        QFETCH(QString, audioFile);
        QFETCH(bool, fromFile);
        QFETCH(QString, operation);
        QFETCH(QString, victim);
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("a/b/Ombry Voice"));
        QVERIFY(QDir().mkpath(data + QStringLiteral("/Audio")));
        const QString target = QDir::cleanPath(data + QLatin1Char('/') + victim);
        if (!QFileInfo(target).isDir())
            QVERIFY(TestEnv::writeFile(target, "à garder"));
        QVERIFY(TestEnv::writeFile(data + QStringLiteral("/Audio/kept.wav"), "RIFF"));
        const Dictation old = dictation(QStringLiteral("vieille"), now().addDays(-40), audioFile);
        if (fromFile)
            QVERIFY(TestEnv::writeFile(data + QStringLiteral("/history.json"), Records::encodeArray(QList<Dictation>{old})));

        Store store(data);
        if (fromFile) {
            QCOMPARE(store.dictations().size(), 1);
            QCOMPARE(store.dictations().first().audioFile, std::nullopt);
        } else {
            store.setDictations({old});
        }
        if (operation == QLatin1String("clear"))
            store.clearHistory();
        else if (operation == QLatin1String("prune"))
            store.pruneAudio();
        else
            QVERIFY(store.audioURL(old).isEmpty());
        store.flush();
        store.waitForIo();

        QVERIFY(QFileInfo::exists(target));
        if (QFileInfo(target).isFile())
            QCOMPARE(TestEnv::readFile(target), QByteArray("à garder"));
        QVERIFY(QFileInfo::exists(data + QStringLiteral("/Audio/kept.wav")));
    }

    // The data folder, the audio folder and every file the store writes there are
    // owner-only, also under an open umask; looser modes left from before are
    // tightened when the store starts.
    void dataIsOwnerOnly_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new folder") << false;
        QTest::newRow("looser modes from before") << true;
    }
    void dataIsOwnerOnly()
    {
        QFETCH(bool, existing);
        QTemporaryDir tmp;
        const QString dir = tmp.filePath(QStringLiteral("Ombry Voice"));
        const QStringList collections = {"history.json", "words.json", "corrections.json", "fixes.json",
                                         "snippets.json", "costs.json", "meetings.json"};
        const QStringList others = {"keys.json", "journal.log", "Audio/A.wav", "words.json.illisible-20260101T000000Z",
                                    "reunion-en-cours.wav", "dictee-en-cours-0E2B0C1A-5F8D-4C84-9E43-2C0B6F1D7A11.wav"};
        const mode_t old = ::umask(0);
        if (existing) {
            QVERIFY(QDir().mkpath(dir + QStringLiteral("/Audio")));
            ::chmod(QFile::encodeName(dir).constData(), 0755);
            ::chmod(QFile::encodeName(dir + QStringLiteral("/Audio")).constData(), 0777);
            QVERIFY(TestEnv::writeFile(dir + QStringLiteral("/history.json"), "[]"));
            QVERIFY(TestEnv::writeFile(dir + QStringLiteral("/words.json"), "[\"mot\"]"));
            for (const QString &f : others)
                QVERIFY(TestEnv::writeFile(dir + QLatin1Char('/') + f, "x"));
            for (const QString &f : collections + others)
                ::chmod(QFile::encodeName(dir + QLatin1Char('/') + f).constData(), 0644);
            QVERIFY(TestEnv::writeFile(dir + QStringLiteral("/autre.txt"), "pas à nous"));
            ::chmod(QFile::encodeName(dir + QStringLiteral("/autre.txt")).constData(), 0644);
        }
        {
            Store store(dir);
            store.waitForIo();
            if (existing) {
                QCOMPARE(store.words(), QStringList{QStringLiteral("mot")});
                for (const QString &f : QStringList{"history.json", "words.json"} + others)
                    QCOMPARE(modeOf(dir + QLatin1Char('/') + f), mode_t(0600));
            }
            QVERIFY(store.writeRecording(QStringLiteral("B.wav"), "RIFF"));
            store.add(dictation(QStringLiteral("un"), now(), QStringLiteral("B.wav")));
            store.setWords({QStringLiteral("a")});
            store.setCorrections({{QUuid::createUuid(), QStringLiteral("a"), QStringLiteral("b")}});
            store.addFix(CorrectionRecord{});
            store.setSnippets({{QUuid::createUuid(), QStringLiteral("x"), QStringLiteral("y")}});
            store.addCost(1);
            store.setMeetings({Meeting{}});
            store.flush();
        }
        ::umask(old);
        QCOMPARE(modeOf(dir), mode_t(0700));
        QCOMPARE(modeOf(dir + QStringLiteral("/Audio")), mode_t(0700));
        QCOMPARE(modeOf(dir + QStringLiteral("/Audio/B.wav")), mode_t(0600));
        for (const QString &f : collections)
            QVERIFY2(modeOf(dir + QLatin1Char('/') + f) == 0600, qPrintable(f));
        if (existing)
            QCOMPARE(modeOf(dir + QStringLiteral("/autre.txt")), mode_t(0644));
        // The shared data folder too.
        QCOMPARE(modeOf(Store::folder()), mode_t(0700));
        QCOMPARE(modeOf(Store::audioFolder()), mode_t(0700));
    }

    // Each page says in its own words that its file was set aside.
    void unreadableNotice_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Store::Collection>("collection");
        QTest::addColumn<QString>("notice"); // before the set-aside name
        QTest::newRow("words") << "words.json" << Store::Collection::Words
                               << "La liste des mots était illisible : mise de côté dans words.json.illisible-";
        QTest::newRow("meetings") << "meetings.json" << Store::Collection::Meetings
                                  << "Les réunions étaient illisibles : mises de côté dans meetings.json.illisible-";
        QTest::newRow("another file") << "words.json" << Store::Collection::Meetings << QString();
    }
    void unreadableNotice()
    {
        QFETCH(QString, file);
        QFETCH(Store::Collection, collection);
        QFETCH(QString, notice);
        QTemporaryDir tmp;
        QVERIFY(TestEnv::writeFile(tmp.filePath(file), "{pas du json"));
        Store store(tmp.path());
        const QString text = UnreadableNotice::text(&store, collection);
        QVERIFY2(text.startsWith(notice) && text.isEmpty() == notice.isEmpty(), qPrintable(text));
        if (!text.isEmpty())
            QVERIFY(QFile::exists(tmp.filePath(text.section(QStringLiteral("dans "), 1))));
    }

    void eraseEverythingRemovesEveryFileAndWritesNothingBack()
    {
        QTemporaryDir tmp;
        QVERIFY(TestEnv::writeFile(tmp.filePath("meetings.json"), "pas du json"));
        Store store(tmp.path());
        QVERIFY(store.writeRecording(QStringLiteral("A.wav"), "RIFF"));
        store.add(dictation(QStringLiteral("un deux"), now(), QStringLiteral("A.wav")));
        store.setWords({QStringLiteral("a")});
        store.flush();
        store.setSnippets({{QUuid::createUuid(), QStringLiteral("x"), QStringLiteral("y")}}); // still scheduled
        QVERIFY(TestEnv::writeFile(tmp.filePath("keys.json"), "{}"));
        QVERIFY(TestEnv::writeFile(tmp.filePath("journal.log"), "ligne\n"));
        QVERIFY(TestEnv::writeFile(tmp.filePath("autre.txt"), "pas à nous"));
        // Recordings under way, or left by a killed run.
        QVERIFY(TestEnv::writeFile(tmp.filePath("reunion-en-cours.wav"), "RIFF"));
        QVERIFY(TestEnv::writeFile(tmp.filePath("dictee-en-cours-0E2B0C1A-5F8D-4C84-9E43-2C0B6F1D7A11.wav"), "RIFF"));

        QSignalSpy words(&store, &Store::wordsChanged);
        QSignalSpy erased(&store, &Store::erased);
        store.eraseEverything();
        QCOMPARE(erased.count(), 1);
        QCOMPARE(store.erasures(), quint64(1));
        // Written right after the erase: kept.
        QVERIFY(store.writeRecording(QStringLiteral("B.wav"), "RIFF"));
        store.waitForIo();
        QVERIFY(QFile::exists(tmp.filePath("Audio/B.wav")));
        QDir(tmp.filePath("Audio")).removeRecursively();
        QCOMPARE(words.count(), 1);
        QVERIFY(store.dictations().isEmpty() && store.words().isEmpty() && store.snippets().isEmpty());
        QCOMPARE(store.totalWords(), qint64(0));
        QTest::qWait(1000);
        store.flush();
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("autre.txt")});

        // A recording after the erase finds its folder again.
        QVERIFY(store.writeRecording(QStringLiteral("B.wav"), "RIFF"));
        QVERIFY(QFile::exists(tmp.filePath("Audio/B.wav")));
        QVERIFY(QFileInfo::exists(Store::audioFolder()));
        QDir(Store::audioFolder()).removeRecursively();
        QVERIFY(QFileInfo(Store::audioFolder()).isDir());
    }

    // Links planted in the data folder lead nowhere: with "Audio" a link to the
    // user's music, or a recording a link to a file outside, the start changes no
    // mode there, nothing is read or sent, and an erase deletes nothing of theirs.
    void linksAreNeverFollowed_data()
    {
        QTest::addColumn<bool>("audioLinked");
        QTest::newRow("Audio a link to the user's folder") << true;
        QTest::newRow("a recording a link to a file outside") << false;
    }
    void linksAreNeverFollowed()
    {
        QFETCH(bool, audioLinked);
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("Ombry Voice"));
        const QString music = tmp.filePath(QStringLiteral("Music"));
        QVERIFY(QDir().mkpath(music));
        QVERIFY(TestEnv::writeFile(music + QStringLiteral("/A.wav"), "chanson"));
        ::chmod(QFile::encodeName(music + QStringLiteral("/A.wav")).constData(), 0644);
        QVERIFY(QDir().mkpath(audioLinked ? data : data + QStringLiteral("/Audio")));
        const QByteArray link = QFile::encodeName(data + (audioLinked ? QStringLiteral("/Audio") : QStringLiteral("/Audio/A.wav")));
        const QByteArray target = QFile::encodeName(audioLinked ? music : music + QStringLiteral("/A.wav"));
        QCOMPARE(::symlink(target.constData(), link.constData()), 0);
        QVERIFY(TestEnv::writeFile(data + QStringLiteral("/history.json"),
                                   Records::encodeArray(QList<Dictation>{dictation(QString(), now(), QStringLiteral("A.wav"))})));
        {
            Store store(data);
            store.waitForIo();
            QCOMPARE(modeOf(music + QStringLiteral("/A.wav")), mode_t(0644));
            const Dictation kept = store.dictations().value(0);
            QVERIFY(store.audioURL(kept).isEmpty());
            QVERIFY(!store.readRecording(kept, 1 << 20));
            // New recordings go to a real folder of the store, never through the link.
            QVERIFY(store.writeRecording(QStringLiteral("B.wav"), "RIFF"));
            store.clearHistory();
            store.eraseEverything();
        }
        QCOMPARE(QDir(music).entryList(QDir::Files), QStringList{QStringLiteral("A.wav")});
        QCOMPARE(TestEnv::readFile(music + QStringLiteral("/A.wav")), QByteArray("chanson"));
        QCOMPARE(modeOf(music + QStringLiteral("/A.wav")), mode_t(0644));
    }

    // A write cut by a kill leaves its temporary file, the user's words: the next
    // start and an erase remove it, and nothing else of that kind.
    void cutWritesAreRemoved_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::newRow("at start") << false;
        QTest::newRow("by an erase") << true;
    }
    void cutWritesAreRemoved()
    {
        QFETCH(bool, erase);
        QTemporaryDir tmp;
        Store *early = nullptr;
        std::unique_ptr<Store> store;
        if (erase) {
            store = std::make_unique<Store>(tmp.path());
            early = store.get();
        }
        QVERIFY(TestEnv::writeFile(tmp.filePath(".history.json.a1B2c3"), "[{\"finalText\":\"dicté\""));
        QVERIFY(TestEnv::writeFile(tmp.filePath("Audio/.A.wav.Zz09xY"), "RIFF"));
        QVERIFY(TestEnv::writeFile(tmp.filePath(".autre.txt.a1B2c3"), "pas à nous"));
        if (early)
            early->eraseEverything();
        else
            store = std::make_unique<Store>(tmp.path());
        QVERIFY(!QFileInfo::exists(tmp.filePath(".history.json.a1B2c3")));
        QVERIFY(!QFileInfo::exists(tmp.filePath("Audio/.A.wav.Zz09xY")));
        QVERIFY(QFileInfo::exists(tmp.filePath(".autre.txt.a1B2c3")));
    }

    // A FIFO or a device in place of a data file is not read (it would hang the
    // start or never end): the collection starts empty and the entry is set aside.
    void specialFilesAreNotRead_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("fifo") << true;
        QTest::newRow("link to /dev/zero") << false;
    }
    void specialFilesAreNotRead()
    {
        QFETCH(bool, fifo);
        QTemporaryDir tmp;
        const QByteArray path = QFile::encodeName(tmp.filePath("history.json"));
        QCOMPARE(fifo ? ::mkfifo(path.constData(), 0600) : ::symlink("/dev/zero", path.constData()), 0);
        Store store(tmp.path());
        QVERIFY(store.dictations().isEmpty());
        QVERIFY(store.wasSetAside(Store::Collection::History));
        store.add(dictation(QStringLiteral("un"), now()));
        store.flush();
        QVERIFY(QFileInfo(tmp.filePath("history.json")).isFile());
    }

    // A folder that refuses writes loses nothing: the store says why, keeps the
    // list in memory through a flush, and writes it once it can.
    void writeFailuresAreToldAndKept_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("problem");
        QTest::newRow("read-only") << EROFS << "Impossible d'enregistrer : dossier en lecture seule";
        QTest::newRow("disk full") << ENOSPC << "Impossible d'enregistrer : disque plein";
    }
    void writeFailuresAreToldAndKept()
    {
        QFETCH(int, error);
        QFETCH(QString, problem);
        QTemporaryDir tmp;
        Store store(tmp.path());
        QSignalSpy failed(&store, &Store::writeFailed);
        PrivateFiles::setWriteFault(error);
        auto clear = qScopeGuard([] { PrivateFiles::setWriteFault(0); });
        store.add(dictation(QStringLiteral("un deux"), now(), QStringLiteral("A.wav")));
        store.saveRecording(QStringLiteral("A.wav"), "RIFF");
        store.flush();
        QCOMPARE(store.unsaved(), (QStringList{"Audio/A.wav", "history.json"}));
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 2, 2000);
        QCOMPARE(failed.first().first().toString(), problem);
        QCOMPARE(store.writeProblem(), problem);
        // A second flush (the quit) tries again and still keeps them.
        store.flush();
        QCOMPARE(store.unsaved().size(), 2);
        QCOMPARE(failed.count(), 2); // a retry is not told again
        PrivateFiles::setWriteFault(0);
        store.flush();
        QVERIFY(store.unsaved().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(store.writeProblem().isEmpty(), 2000);
        QCOMPARE(Records::decodeArray<Dictation>(TestEnv::readFile(tmp.filePath("history.json")))->size(), 1);
        QCOMPARE(TestEnv::readFile(tmp.filePath("Audio/A.wav")), QByteArray("RIFF"));
    }

    // What the store is told of a write agrees with what it reads back then: a
    // failure is already among the failing files, a success no longer is (else the
    // banner would miss the one or keep the other).
    void outcomeAgreesWithTheFailingFiles_data()
    {
        QTest::addColumn<QList<int>>("errors"); // of the successive writes of one file
        QTest::newRow("a failure") << QList<int>{EROFS};
        QTest::newRow("written after a failure") << QList<int>{ENOSPC, 0};
    }
    void outcomeAgreesWithTheFailingFiles()
    {
        QFETCH(QList<int>, errors);
        const QString key = QStringLiteral("history.json");
        StoreIo io;
        QSemaphore told;
        QHash<QString, int> failingWhenTold;
        io.onOutcome = [&](const QString &, int, bool) {
            failingWhenTold = io.failing();
            told.release();
        };
        for (const int error : errors) {
            io.schedule(key, std::chrono::milliseconds(0), [error] { return error; });
            QVERIFY(told.tryAcquire(1, 5000));
            QCOMPARE(failingWhenTold.contains(key), error != 0);
            if (error)
                QCOMPARE(failingWhenTold.value(key), error);
        }
        io.cancelAll();
    }

    void eraseOfTheSharedStoreForgetsTheKeys()
    {
        KeyStore *keys = TestEnv::keys();
        QVERIFY(keys->save(QStringLiteral("sk-or-ancienne"), APIService::OpenRouter));
        QVERIFY(keys->save(QStringLiteral("dg-ancienne"), APIService::Deepgram));
        QVERIFY(QFile::exists(keys->filePath()));
        Store *store = TestEnv::store();
        QCOMPARE(store->dataFolder(), Store::folder());
        store->setWords({QStringLiteral("mot")});
        store->eraseEverything();
        QCOMPARE(keys->key(APIService::OpenRouter), std::nullopt);
        QCOMPARE(keys->key(APIService::Deepgram), std::nullopt);
        store->waitForIo();
        QVERIFY(!QFile::exists(keys->filePath()));
        QVERIFY(!QFile::exists(Store::folder() + QStringLiteral("/words.json")));
        // A key saved afterwards is the only one written.
        QVERIFY(keys->save(QStringLiteral("dg-nouvelle"), APIService::Deepgram));
        const QByteArray file = TestEnv::readFile(keys->filePath());
        QVERIFY(file.contains("dg-nouvelle"));
        QVERIFY(!file.contains("ancienne"));
    }

    void applyCorrections_data()
    {
        QTest::addColumn<QStringList>("pairs"); // heard, written, heard, written…
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QStringList chat{QStringLiteral("chat"), QStringLiteral("Chat GPT")};
        QTest::newRow("whole word") << chat << QStringLiteral("Le chat dort") << QStringLiteral("Le Chat GPT dort");
        QTest::newRow("case ignored") << chat << QStringLiteral("CHAT!") << QStringLiteral("Chat GPT!");
        QTest::newRow("inside a word") << chat << QStringLiteral("chaton") << QStringLiteral("chaton");
        QTest::newRow("after an apostrophe") << chat << QStringLiteral("l'chat") << QStringLiteral("l'Chat GPT");
        QTest::newRow("after a digit") << chat << QStringLiteral("2chat") << QStringLiteral("2chat");
        QTest::newRow("accented neighbour") << chat << QStringLiteral("échat") << QStringLiteral("échat");
        QTest::newRow("every match") << chat << QStringLiteral("chat, chat") << QStringLiteral("Chat GPT, Chat GPT");
        QTest::newRow("dot is literal") << QStringList{"a.b", "X"} << QStringLiteral("a.b axb") << QStringLiteral("X axb");
        QTest::newRow("blank heard skipped") << QStringList{" \t ", "X"} << QStringLiteral("a  b") << QStringLiteral("a  b");
        QTest::newRow("chained") << QStringList{"a", "b", "b", "c"} << QStringLiteral("a") << QStringLiteral("c");
        QTest::newRow("backreference is literal")
            << QStringList{"chat", "\\1 $1 \\0 $0 ${1}"} << QStringLiteral("un chat") << QStringLiteral("un \\1 $1 \\0 $0 ${1}");
        QTest::newRow("regex syntax in heard")
            << QStringList{"c++ (v2)", "C++ 2"} << QStringLiteral("en c++ (v2) !") << QStringLiteral("en C++ 2 !");
        QTest::newRow("non-ASCII case") << QStringList{"élan", "Élan"} << QStringLiteral("ÉLAN vital")
                                        << QStringLiteral("Élan vital");
    }
    void applyCorrections()
    {
        QFETCH(QStringList, pairs);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        Store store(tmp.path());
        QList<Correction> list;
        for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
            list.append({QUuid::createUuid(), pairs[i], pairs[i + 1]});
        store.setCorrections(list);
        QCOMPARE(store.applyCorrections(text), expected);
    }

    void snippetMatching_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        const QString sig = QStringLiteral("Ma signature !");
        QTest::newRow("lower case") << sig << QStringLiteral("ma signature") << true;
        QTest::newRow("upper case, outer spaces, dot") << sig << QStringLiteral("  MA SIGNATURE.") << true;
        QTest::newRow("accents") << sig << QStringLiteral("Má signaturé") << true;
        QTest::newRow("decomposed accents") << QStringLiteral("Été") << QStringLiteral("e\u0301te\u0301") << true;
        QTest::newRow("two inner spaces") << sig << QStringLiteral("ma  signature") << false;
        QTest::newRow("other words") << sig << QStringLiteral("ma signature bis") << false;
        QTest::newRow("punctuation-only trigger") << QStringLiteral("?!") << QStringLiteral("…") << false;
        QTest::newRow("emoji-only trigger") << QStringLiteral("👍") << QStringLiteral("d'accord") << false;
        QTest::newRow("emoji-only trigger, empty text") << QStringLiteral("👍🎉") << QString() << false;
        QTest::newRow("empty trigger") << QString() << QString() << false;
        QTest::newRow("digits count") << QStringLiteral("code 42") << QStringLiteral("Code 42 !") << true;
    }
    void snippetMatching()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, text);
        QFETCH(bool, matches);
        QTemporaryDir tmp;
        Store store(tmp.path());
        const Snippet s{QUuid::createUuid(), trigger, QStringLiteral("contenu")};
        store.setSnippets({s});
        const auto found = store.snippet(text);
        QCOMPARE(found.has_value(), matches);
        if (matches)
            QCOMPARE(found->id, s.id);
    }

    void firstOfEqualSnippetsWins()
    {
        QTemporaryDir tmp;
        Store store(tmp.path());
        const Snippet empty{QUuid::createUuid(), QStringLiteral("!!"), QStringLiteral("jamais")};
        const Snippet first{QUuid::createUuid(), QStringLiteral("Adresse"), QStringLiteral("1")};
        const Snippet second{QUuid::createUuid(), QStringLiteral("adresse."), QStringLiteral("2")};
        store.setSnippets({empty, first, second});
        QCOMPARE(store.snippet(QStringLiteral("ADRESSE"))->id, first.id);
        // The cache follows the list.
        store.setSnippets({second});
        QCOMPARE(store.snippet(QStringLiteral("adresse"))->id, second.id);
    }
};

OMBRY_TEST_MAIN(TestStore)
#include "tst_store.moc"
