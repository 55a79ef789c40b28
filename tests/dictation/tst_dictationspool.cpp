#include "audio/AudioRecorder.h"
#include "core/PrivateFiles.h"
#include "dictation/DictationSpool.h"
#include "dictation/ProcessingRoad.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>

// What a killed run leaves of its dictations, and what the next start makes of it.
class TestDictationSpool : public QObject
{
    Q_OBJECT

    static QByteArray speech(double seconds)
    {
        QByteArray pcm(qsizetype(seconds * 16000) * 2, '\0');
        auto *s = reinterpret_cast<qint16 *>(pcm.data());
        for (qsizetype i = 0; i < pcm.size() / 2; ++i)
            s[i] = qint16((i % 40) < 20 ? 6000 : -6000);
        return pcm;
    }

    // A spool as a kill leaves it: the header's sizes still the placeholders.
    static bool leaveSpool(const Store &store, const QUuid &id, const QByteArray &pcm)
    {
        return TestEnv::writeFile(DictationSpool::path(&store, id), AudioRecorder::wav(QByteArray()) + pcm);
    }

private Q_SLOTS:
    void recover_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("inHistory");    // the dictation was saved before the kill
        QTest::addColumn<bool>("audioWritten"); // …with its recording
        QTest::addColumn<int>("entries");       // entries made by the recovery
        QTest::addColumn<bool>("audioFromSpool");
        QTest::newRow("killed while recording") << 4.0 << false << false << 1 << true;
        QTest::newRow("too short to hold speech") << 0.2 << false << false << 0 << false;
        QTest::newRow("saved with its recording") << 4.0 << true << true << 0 << false;
        QTest::newRow("saved, recording not yet written") << 4.0 << true << false << 0 << true;
    }
    void recover()
    {
        QFETCH(double, seconds);
        QFETCH(bool, inHistory);
        QFETCH(bool, audioWritten);
        QFETCH(int, entries);
        QFETCH(bool, audioFromSpool);
        QTemporaryDir tmp;
        Store store(tmp.path());
        const QUuid id = QUuid::createUuid();
        const QByteArray pcm = speech(seconds);
        const QByteArray pasted = AudioRecorder::wav(QByteArray(64, '\1'));
        if (inHistory) {
            Dictation d = Road::keptEntry(id, QDateTime::currentDateTime(), std::nullopt, seconds);
            d.finalText = d.rawText = QStringLiteral("Bonjour");
            store.add(d);
            if (audioWritten)
                QVERIFY(store.writeRecording(*d.audioFile, pasted));
        }
        QVERIFY(leaveSpool(store, id, pcm));
        const qsizetype before = store.dictations().size();

        QCOMPARE(DictationSpool::recover(&store), entries);

        QVERIFY(!QFile::exists(DictationSpool::path(&store, id)));
        QCOMPARE(store.dictations().size(), before + entries);
        const QString audio = QDir(store.audioDir()).filePath(Road::recordingName(id));
        if (audioFromSpool) {
            // A WAV with its real sizes, the samples as they were recorded.
            const QByteArray wav = TestEnv::readFile(audio);
            QCOMPARE(wav, AudioRecorder::wav(pcm));
        } else {
            QCOMPARE(TestEnv::readFile(audio), audioWritten ? pasted : QByteArray());
        }
        if (entries) {
            const Dictation &d = store.dictations().first();
            QCOMPARE(d.id, id);
            QVERIFY(d.untranscribed());
            QCOMPARE(d.duration, seconds);
            QCOMPARE(d.appName, QStringLiteral("Inconnue"));
            QVERIFY(store.audioURL(d).isValid());
            QVERIFY(d.date.isValid() && d.date <= QDateTime::currentDateTime());
        }
        // Said once: a second start finds nothing.
        QCOMPARE(DictationSpool::recover(&store), 0);
    }

    // A settled dictation's spool goes only once the history that names it and
    // its recording are both on disk; one that the history does not name goes at
    // once. A recording that could not be written keeps its spool.
    void release_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("spoolKept");
        QTest::newRow("in the history") << true << 0 << false;
        QTest::newRow("not in the history") << false << 0 << false;
        QTest::newRow("disk full") << true << ENOSPC << true;
        QTest::newRow("read-only folder") << true << EROFS << true;
    }
    void release()
    {
        QFETCH(bool, named);
        QFETCH(int, fault);
        QFETCH(bool, spoolKept);
        QTemporaryDir tmp;
        Store store(tmp.path());
        const QUuid id = QUuid::createUuid();
        QVERIFY(leaveSpool(store, id, speech(1)));
        PrivateFiles::setWriteFault(fault);
        const auto clear = qScopeGuard([] { PrivateFiles::setWriteFault(0); });
        QSignalSpy written(&store, &Store::fileWritten);
        QSignalSpy failed(&store, &Store::writeFailed);
        if (named) {
            const Dictation entry = Road::keptEntry(id, QDateTime::currentDateTime(), std::nullopt, 1);
            store.add(entry);
            store.saveRecording(*entry.audioFile, AudioRecorder::wav(speech(1)));
        }
        DictationSpool::release(&store, id);
        if (!named) {
            QVERIFY(!QFile::exists(DictationSpool::path(&store, id)));
            return;
        }
        QVERIFY(QFile::exists(DictationSpool::path(&store, id)));
        if (fault) {
            QVERIFY(failed.wait(3000));
            QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 2, 3000); // the record and the recording
            QCOMPARE(store.writeProblem(), Store::problemText(fault));
        } else {
            QVERIFY(written.wait(3000));
        }
        QCoreApplication::processEvents();
        QCOMPARE(QFile::exists(DictationSpool::path(&store, id)), spoolKept);
        if (!fault)
            return;
        // Once the disk takes it again, both are written and the spool goes.
        PrivateFiles::setWriteFault(0);
        store.flush();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(DictationSpool::path(&store, id)), 3000);
        QVERIFY(store.writeProblem().isEmpty());
        QVERIFY(QFile::exists(QDir(tmp.path()).filePath(QStringLiteral("history.json"))));
    }
};

OMBRY_TEST_MAIN(TestDictationSpool)
#include "tst_dictationspool.moc"
