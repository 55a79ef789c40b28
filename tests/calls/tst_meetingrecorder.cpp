#include "app/Wiring.h"
#include "audio/AudioRecorder.h"
#include "calls/MeetingRecorder.h"
#include "core/PrivateFiles.h"
#include "audio/MeetingSpool.h"
#include "fakes/FakeHttpService.h"
#include "fakes/MeetingTones.h"
#include "fakes/FakeMeetingMic.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "platform/PulseContext.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QString kChatPath = QStringLiteral("/api/v1/chat/completions");
using namespace MeetingTones;

struct Piece
{
    int hz;
    qint64 samples;
};
using Pieces = QList<Piece>;

QStringList logLines()
{
    Log::waitUntilWritten();
    QStringList out;
    const QStringList lines = QString::fromUtf8(TestEnv::readFile(Log::path())).split(QLatin1Char('\n'));
    for (const QString &line : lines)
        if (!line.isEmpty())
            out << line.section(QLatin1Char(' '), 1);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Pieces)

class TestMeetingRecorder : public QObject
{
    Q_OBJECT

    PulseContext pulse_;
    FakeHttpService *cloud_ = nullptr;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<Store> store_;
    std::shared_ptr<FakeMeetingMic> mic_;
    std::unique_ptr<MeetingRecorder> recorder_;
    QStringList sounds_;
    QStringList states_;
    QList<qsizetype> wavSizes_;
    QStringList order_; // the progress shown when each transcription arrived
    QString summaryReply_;
    bool microphone_ = true;
    int requests_ = 0;
    qint64 clockMs_ = 0;

    void makeRecorder()
    {
        MeetingServices s = Wiring::meetings({TestEnv::settings(), TestEnv::keys(), store_.get()}, pulse_);
        s.microphoneAllowed = [this] { return microphone_; };
        s.requestMicrophone = [this] { ++requests_; };
        s.makeCapture = FakeMeetingMic::maker(mic_);
        s.playSound = [this](const QString &name) { sounds_ << name; };
        s.language = [] { return Language::Fr; };
        s.clock = [this] { return clockMs_; };
        recorder_ = std::make_unique<MeetingRecorder>(std::move(s));
        connect(recorder_.get(), &MeetingRecorder::stateChanged, this, [this] {
            const QString now = recorder_->progress().isEmpty()
                ? QString::fromLatin1(QMetaEnum::fromType<MeetingRecorder::State>().valueToKey(int(recorder_->state())))
                : recorder_->progress();
            if (states_.isEmpty() || states_.last() != now)
                states_ << now;
        });
    }

    void record(const Pieces &pieces)
    {
        recorder_->toggle();
        QVERIFY(TestEnv::waitFor([&] { return recorder_->state() == MeetingRecorder::State::Recording; }));
        for (const Piece &p : pieces) {
            // In slices, as a sound server delivers it.
            for (qint64 at = 0; at < p.samples; at += kRate * 10)
                QVERIFY(mic_->feed(tone(p.hz, std::min<qint64>(kRate * 10, p.samples - at))));
        }
    }

    void stopAndWait()
    {
        QSignalSpy processed(recorder_.get(), &MeetingRecorder::processed);
        recorder_->toggle();
        QVERIFY(TestEnv::waitFor([&] {
            return recorder_->state() == MeetingRecorder::State::Idle
                && (!processed.isEmpty() || !states_.contains(QStringLiteral("Transcription…")));
        }, 20000));
    }

private Q_SLOTS:
    void init()
    {
        Log::waitUntilWritten();
        QFile::remove(Log::path());
        cloud_ = new FakeHttpService(this);
        QVERIFY(cloud_->start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_->url().toUtf8());
        qunsetenv("OMBRY_HOSTED_URL");
        TestEnv::settings()->setOwnKeyMode(true);
        TestEnv::keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-test")}});
        cloud_->setHandler([this](const RecordedRequest &r) {
            const QByteArray wav = r.chatAudio();
            if (wav.isEmpty())
                return ScriptedReply::json(chatCompletion(summaryReply_));
            wavSizes_ << wav.size();
            order_ << recorder_->progress();
            const int hz = toneOf(wav);
            if (hz == 1200)
                return ScriptedReply::text("upstream down", 502);
            return ScriptedReply::json(chatCompletion(textOfTone(hz)));
        });
        folder_ = std::make_unique<QTemporaryDir>();
        store_ = std::make_unique<Store>(folder_->path());
        mic_ = std::make_shared<FakeMeetingMic>();
        sounds_.clear();
        states_.clear();
        wavSizes_.clear();
        order_.clear();
        microphone_ = true;
        requests_ = 0;
        clockMs_ = 1'000'000;
        summaryReply_ = QStringLiteral(R"({"title":"Point projet","summary":"Résumé.","tasks":["Envoyer le devis"]})");
        makeRecorder();
    }

    void cleanup()
    {
        recorder_.reset();
        store_.reset();
        folder_.reset();
        delete cloud_;
        cloud_ = nullptr;
    }

    // The whole road of one recording: chunks, requests, states, record, log.
    void recording_data()
    {
        QTest::addColumn<Pieces>("pieces");
        QTest::addColumn<bool>("hasKey");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<QList<qsizetype>>("wavs");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QStringList>("logs");

        const QString t1 = textOfTone(300), t2 = textOfTone(600), t3 = textOfTone(900);
        const QString sep = QStringLiteral("\n\n");
        QTest::newRow("seven minutes, three chunks")
            << Pieces{{300, 180 * kRate}, {600, 180 * kRate}, {900, 60 * kRate}} << true
            << QStringList{"Recording", "Transcription…", "Transcription 1/3…", "Transcription 2/3…",
                           "Transcription 3/3…", "Résumé…", "Idle"}
            << QList<qsizetype>{5'760'044, 5'760'044, 1'920'044} << "Point projet" << (t1 + sep + t2 + sep + t3)
            << false
            << QStringList{"réunion: début", "réunion: fin, 420 s", "réunion: enregistrée (52 caractères, 1 tâches)"};
        QTest::newRow("three seconds are dropped")
            << Pieces{{300, 3 * kRate}} << true << QStringList{"Recording", "Idle"} << QList<qsizetype>{}
            << QString() << QString() << false << QStringList{"réunion: début", "réunion: fin, 3 s"};
        QTest::newRow("3.1 s is one chunk")
            << Pieces{{300, 3 * kRate + kRate / 10}} << true
            << QStringList{"Recording", "Transcription…", "Transcription 1/1…", "Résumé…", "Idle"}
            << QList<qsizetype>{3 * kRate * 2 + kRate / 5 + 44} << "Point projet" << t1 << false
            << QStringList{"réunion: début", "réunion: fin, 3 s", "réunion: enregistrée (16 caractères, 1 tâches)"};
        QTest::newRow("one sample past 180 s is a second chunk")
            << Pieces{{300, 180 * kRate}, {900, 1}} << true
            << QStringList{"Recording", "Transcription…", "Transcription 1/2…", "Transcription 2/2…", "Résumé…",
                           "Idle"}
            << QList<qsizetype>{5'760'044, 46} << "Point projet" << t1 << false
            << QStringList{"réunion: début", "réunion: fin, 180 s", "réunion: enregistrée (16 caractères, 1 tâches)"};
        QTest::newRow("a failing chunk leaves the others, the recording is kept")
            << Pieces{{300, 180 * kRate}, {1200, 180 * kRate}, {900, 60 * kRate}} << true
            << QStringList{"Recording", "Transcription…", "Transcription 1/3…", "Transcription 2/3…",
                           "Transcription 3/3…", "Résumé…", "Idle"}
            << QList<qsizetype>{5'760'044, 5'760'044, 1'920'044} << "Point projet" << (t1 + sep + t3) << true
            << QStringList{"réunion: début", "réunion: fin, 420 s",
                           "réunion: morceau 2 Gemini : erreur 502",
                           "réunion: enregistrée (34 caractères, 1 tâches)"};
        QTest::newRow("silence is trimmed from the chunk, counted in the duration")
            << Pieces{{0, 30 * kRate}, {300, 10 * kRate}} << true
            << QStringList{"Recording", "Transcription…", "Transcription 1/1…", "Résumé…", "Idle"}
            << QList<qsizetype>{(10 * kRate + 4000) * 2 + 44} << "Point projet" << t1 << false
            << QStringList{"réunion: début", "réunion: fin, 40 s", "réunion: enregistrée (16 caractères, 1 tâches)"};
        QTest::newRow("only silence saves nothing")
            << Pieces{{1500, 20 * kRate}} << true
            << QStringList{"Recording", "Transcription…", "Transcription 1/1…", "Idle"}
            << QList<qsizetype>{20 * kRate * 2 + 44} << QString() << QString() << false
            << QStringList{"réunion: début", "réunion: fin, 20 s"};
        QTest::newRow("no key: kept and saved untranscribed")
            << Pieces{{300, 10 * kRate}} << false
            << QStringList{"Recording", "Transcription…", "Transcription 1/1…", "Idle"} << QList<qsizetype>{}
            << "Réunion non transcrite" << QString() << true
            << QStringList{"réunion: début", "réunion: fin, 10 s", "réunion: morceau 1 *",
                           "réunion: non transcrite, enregistrement conservé (*)"};
    }

    void recording()
    {
        QFETCH(Pieces, pieces);
        QFETCH(bool, hasKey);
        QFETCH(QStringList, states);
        QFETCH(QList<qsizetype>, wavs);
        QFETCH(QString, title);
        QFETCH(QString, transcript);
        QFETCH(bool, kept);
        QFETCH(QStringList, logs);
        if (!hasKey)
            TestEnv::keys()->setKeys({});

        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        record(pieces);
        stopAndWait();

        QCOMPARE(states_, states);
        QCOMPARE(wavSizes_, wavs);
        // Never two at once: each request came while its own chunk was shown.
        for (int i = 0; i < order_.size(); ++i)
            QCOMPARE(order_.at(i), MeetingRecorder::chunkProgress(i + 1, int(wavs.size())));
        QCOMPARE(sounds_, (QStringList{"Tink", "Pop"}));

        qint64 samples = 0;
        for (const Piece &p : pieces)
            samples += p.samples;
        const QList<Meeting> meetings = store_->meetings();
        if (title.isEmpty()) {
            QVERIFY(meetings.isEmpty());
        } else {
            QCOMPARE(meetings.size(), 1);
            const Meeting &m = meetings.first();
            QCOMPARE(m.title, title);
            QCOMPARE(m.transcript, transcript);
            QCOMPARE(m.duration, double(samples) / kRate);
            QVERIFY(m.date >= before && m.date <= QDateTime::currentDateTime());
            store_->flush();
            const QJsonArray saved = QJsonDocument::fromJson(
                TestEnv::readFile(QDir(folder_->path()).filePath(QStringLiteral("meetings.json")))).array();
            QCOMPARE(saved.size(), 1);
            QCOMPARE(saved.at(0).toObject().value(QStringLiteral("title")).toString(), title);
            QCOMPARE(saved.at(0).toObject().value(QStringLiteral("duration")).toDouble(), double(samples) / kRate);
            QCOMPARE(saved.at(0).toObject().value(QStringLiteral("transcript")).toString(), transcript);
            const QString keptFile = QDir(store_->audioDir()).filePath(MeetingRecorder::keptName(m.id));
            QCOMPARE(QFile::exists(keptFile), kept);
            if (kept) {
                QVERIFY2(m.summary.contains(MeetingRecorder::keptName(m.id)), qPrintable(m.summary));
                // It names the error that the log gave for the chunk.
                const QStringList failures = logLines().filter(QRegularExpression(QStringLiteral("^réunion: morceau \\d+ ")));
                QVERIFY(!failures.isEmpty());
                const QString error = failures.last().section(QLatin1Char(' '), 3);
                QVERIFY2(!error.isEmpty() && m.summary.contains(error), qPrintable(m.summary));
                QCOMPARE(MeetingSpool::pcmSize(keptFile), samples * 2);
                // The kept recording is a readable WAV with its real sizes.
                QFile f(keptFile);
                QVERIFY(f.open(QIODevice::ReadOnly));
                const QByteArray header = f.read(44);
                QCOMPARE(qFromLittleEndian<quint32>(header.constData() + 40), quint32(samples * 2));
                f.close();
                // Deleting the card takes the recording with it.
                QVERIFY(store_->removeMeeting(m.id));
                QVERIFY(!QFile::exists(keptFile));
            }
        }
        // The spool never outlives its processing.
        QVERIFY(!QFile::exists(recorder_->spoolPath()));

        const QStringList got = logLines();
        QCOMPARE(got.size(), logs.size());
        for (int i = 0; i < logs.size(); ++i) {
            const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(
                logs.at(i), QRegularExpression::UnanchoredWildcardConversion));
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(re.pattern())).match(got.at(i)).hasMatch(),
                     qPrintable(got.at(i)));
        }
    }

    // The spool holds the user's words: owner-only, even over an older file.
    void spoolIsPrivate_data()
    {
        QTest::addColumn<bool>("older");
        QTest::newRow("new file") << false;
        QTest::newRow("older file readable by all") << true;
    }
    void spoolIsPrivate()
    {
        QFETCH(bool, older);
        const QString path = QDir(folder_->path()).filePath(QStringLiteral("spool.wav"));
        if (older) {
            QVERIFY(TestEnv::writeFile(path, "ancien"));
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        }
        MeetingSpool spool;
        QVERIFY(spool.open(path));
        QCOMPARE(QFileInfo(path).permissions() & 0x0FFF,
                 QFileDevice::ReadUser | QFileDevice::WriteUser); // 0600, nothing for group or others
    }

    // A disk that refuses the spool (here a file size limit) stops the meeting
    // with a visible error; what was written is transcribed, nothing is lost
    // from the file's header.
    void writeFailureStopsTheMeeting()
    {
        constexpr rlim_t kLimit = 200 * 1024;
        struct rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([saved, oldHandler] {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        });
        struct rlimit small = saved;
        small.rlim_cur = kLimit;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);

        QSignalSpy processed(recorder_.get(), &MeetingRecorder::processed);
        record({{440, 10 * kRate}}); // 320,000 bytes: more than the disk takes
        QVERIFY(TestEnv::waitFor([&] { return !processed.isEmpty(); }, 20000));
        ::setrlimit(RLIMIT_FSIZE, &saved);

        QCOMPARE(recorder_->error(), MeetingRecorder::writeFailedText());
        QCOMPARE(sounds_, (QStringList{"Tink", "Basso", "Pop"}));
        QCOMPARE(recorder_->state(), MeetingRecorder::State::Idle);
        const qint64 written = (qint64(kLimit) - 44) & ~qint64(1);
        QCOMPARE(store_->meetings().size(), 1);
        QCOMPARE(store_->meetings().first().duration, double(written / 2) / kRate);
        QVERIFY(logLines().contains(QStringLiteral("réunion: écriture impossible, enregistrement arrêté à %1 s")
                                        .arg(written / 2 / kRate)));
        // The next meeting starts clean.
        record({{440, kRate}});
        QVERIFY(recorder_->error().isEmpty());
    }

    // Erasing everything takes the meeting under way with it: its spool goes
    // and nothing is saved into the emptied store.
    void eraseDropsTheMeeting_data()
    {
        QTest::addColumn<bool>("whileRecording");
        QTest::newRow("while recording") << true;
        QTest::newRow("while transcribing") << false;
    }
    void eraseDropsTheMeeting()
    {
        QFETCH(bool, whileRecording);
        QSignalSpy processed(recorder_.get(), &MeetingRecorder::processed);
        record({{440, 5 * kRate}});
        QVERIFY(QFile::exists(recorder_->spoolPath()));
        if (whileRecording) {
            store_->eraseEverything();
            QVERIFY(TestEnv::waitFor([&] { return recorder_->state() == MeetingRecorder::State::Idle; }));
            QVERIFY(!mic_->feed(tone(440, kRate))); // the microphone is released
        } else {
            // Erased as soon as the transcription is asked for.
            cloud_->setHandler([this](const RecordedRequest &) {
                store_->eraseEverything();
                return ScriptedReply::json(chatCompletion(textOfTone(440)));
            });
            recorder_->toggle();
            QVERIFY(TestEnv::waitFor([&] { return !processed.isEmpty(); }, 20000));
        }
        QCOMPARE(recorder_->state(), MeetingRecorder::State::Idle);
        QVERIFY(store_->meetings().isEmpty());
        store_->flush();
        QVERIFY(!QFile::exists(recorder_->spoolPath()));
        QVERIFY(!QFile::exists(QDir(folder_->path()).filePath(QStringLiteral("meetings.json"))));
        QVERIFY(logLines().contains(QStringLiteral("réunion: abandonnée, données effacées")));
    }

    // A chunk read through a mapping of the spool is the chunk read and trimmed.
    void chunkWav_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::newRow("first second") << qint64(0) << qint64(32000);
        QTest::newRow("across the speech, unaligned") << qint64(30002) << qint64(100000);
        QTest::newRow("silence only") << qint64(0) << qint64(20000);
        QTest::newRow("past the end") << qint64(200000) << qint64(100000);
        QTest::newRow("beyond") << qint64(400000) << qint64(10);
    }

    void chunkWav()
    {
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        // Silence, a tone, silence: trimming has edges to find.
        const QByteArray pcm = QByteArray(40000, 0) + tone(300, kRate * 4) + QByteArray(60000, 0);
        const QString path = QDir(folder_->path()).filePath(QStringLiteral("spool.wav"));
        {
            MeetingSpool spool;
            QVERIFY(spool.open(path));
            spool.append(pcm);
            QCOMPARE(spool.finish(), qint64(pcm.size()));
        }
        const QByteArray expected = AudioRecorder::wav(AudioRecorder::trimSilence(MeetingSpool::read(path, offset, length)));
        QCOMPARE(MeetingSpool::chunkWav(path, offset, length), expected);
    }

    // The model's summary, however it answers.
    void summary_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QStringList>("tasks");

        QTest::newRow("plain") << R"({"title":"Point projet","summary":"Résumé.","tasks":["Envoyer le devis"]})" << true
                               << "Point projet" << "Résumé." << QStringList{"Envoyer le devis"};
        QTest::newRow("prose around") << "Voici :\n{\"title\":\"T\",\"summary\":\"S\",\"tasks\":[]}\nBonne journée."
                                      << true << "T" << "S" << QStringList{};
        QTest::newRow("tasks null") << R"({"title":"T","summary":"S","tasks":null})" << true << "T" << "S"
                                    << QStringList{};
        QTest::newRow("no title") << R"({"summary":"S"})" << true << "Réunion" << "S" << QStringList{};
        QTest::newRow("empty title stays") << R"({"title":""})" << true << "" << "" << QStringList{};
        QTest::newRow("tasks of objects") << R"({"title":"T","tasks":[{"a":1}]})" << false << "" << ""
                                          << QStringList{};
        QTest::newRow("number title") << R"({"title":3})" << false << "" << "" << QStringList{};
        QTest::newRow("brace order reversed") << "} puis {" << false << "" << "" << QStringList{};
        QTest::newRow("a list") << R"(["a"])" << false << "" << "" << QStringList{};
    }

    void summary()
    {
        QFETCH(QString, reply);
        QFETCH(bool, read);
        QFETCH(QString, title);
        QFETCH(QString, summary);
        QFETCH(QStringList, tasks);
        QString error;
        const auto got = MeetingRecorder::readSummary(reply, &error);
        QCOMPARE(got.has_value(), read);
        QCOMPARE(error.isEmpty(), read);
        if (read)
            QCOMPARE(*got, (MeetingRecorder::Summary{title, summary, tasks}));
    }

    // An unreadable summary still saves the meeting, as "Réunion".
    void unreadableSummary()
    {
        summaryReply_ = QStringLiteral(R"({"title":"T","tasks":[{"a":1}]})");
        record({{300, 5 * kRate}});
        stopAndWait();
        QCOMPARE(store_->meetings().size(), 1);
        const Meeting m = store_->meetings().first();
        QCOMPARE(m.title, QStringLiteral("Réunion"));
        QVERIFY(m.summary.isEmpty());
        QVERIFY(m.tasks.isEmpty());
        QVERIFY(logLines().filter(QStringLiteral("résumé: réponse illisible")).size() == 1);
        const QJsonObject body = cloud_->requests(kChatPath).last().json();
        const QJsonArray messages = body.value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.at(0).toObject().value(QStringLiteral("content")).toString(),
                 MeetingRecorder::summaryPrompt(QStringLiteral("français")));
        QCOMPARE(messages.at(1).toObject().value(QStringLiteral("content")).toString(), textOfTone(300));
        QCOMPARE(body.value(QStringLiteral("model")).toString(), MeetingRecorder::kModel);
    }

    void elapsed_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "0:00";
        QTest::newRow("65 s") << 65 << "1:05";
        QTest::newRow("10 min") << 600 << "10:00";
        QTest::newRow("75 min 3 s, not wrapped") << 4503 << "75:03";
    }

    void elapsed()
    {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(MeetingRecorder::elapsedText(seconds), text);
    }

    // The time shown while recording, from the monotonic clock.
    void elapsedWhileRecording_data()
    {
        QTest::addColumn<qint64>("afterMs");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("at once") << qint64(0) << 0 << "0:00";
        QTest::newRow("just short of a second") << qint64(999) << 0 << "0:00";
        QTest::newRow("65 s") << qint64(65'000) << 65 << "1:05";
        QTest::newRow("10 min") << qint64(600'400) << 600 << "10:00";
        QTest::newRow("75 min 3 s") << qint64(4'503'000) << 4503 << "75:03";
    }

    void elapsedWhileRecording()
    {
        QFETCH(qint64, afterMs);
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(recorder_->elapsedSeconds(), 0);
        record({});
        const QDateTime started = recorder_->startedAt();
        clockMs_ += afterMs;
        QCOMPARE(recorder_->elapsedSeconds(), seconds);
        QCOMPARE(MeetingRecorder::elapsedText(recorder_->elapsedSeconds()), text);
        // The record's date stays the wall-clock start.
        QCOMPARE(recorder_->startedAt(), started);
        stopAndWait();
        QCOMPARE(recorder_->elapsedSeconds(), 0);
    }

    void cardLine_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("text");
        const QDateTime tuesday(QDate(2025, 12, 9), QTime(14, 5));
        QTest::newRow("59 s is 0 min") << tuesday << 59.0 << "mardi 9 déc. 14:05 · 0 min";
        QTest::newRow("3660 s is 61 min") << tuesday << 3660.0 << "mardi 9 déc. 14:05 · 61 min";
        QTest::newRow("morning") << QDateTime(QDate(2026, 2, 1), QTime(9, 7)) << 600.0
                                 << "dimanche 1 févr. 09:07 · 10 min";
    }

    void cardLine()
    {
        QFETCH(QDateTime, date);
        QFETCH(double, duration);
        QFETCH(QString, text);
        QCOMPARE(MeetingRecorder::cardLine(date, duration), text);
    }

    void copyText_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QStringList>("tasks");
        QTest::addColumn<QString>("text");
        QTest::newRow("full") << "Point projet" << "Résumé." << QStringList{"Envoyer le devis"}
                              << "Point projet\n\nRésumé.\n\n- Envoyer le devis";
        QTest::newRow("nothing skipped") << "Réunion" << "" << QStringList{} << "Réunion\n\n\n\n";
        QTest::newRow("two tasks") << "T" << "S" << QStringList{"a", "b"} << "T\n\nS\n\n- a\n- b";
    }

    void copyText()
    {
        QFETCH(QString, title);
        QFETCH(QString, summary);
        QFETCH(QStringList, tasks);
        QFETCH(QString, text);
        QCOMPARE(MeetingRecorder::copyText(title, summary, tasks), text);
    }

    // Toggles that must not start anything.
    void refusedStarts_data()
    {
        QTest::addColumn<bool>("permission");
        QTest::addColumn<bool>("captureFails");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QStringList>("logs");
        QTest::addColumn<QString>("error");
        QTest::newRow("no permission asks") << false << false << 0 << 1 << QStringList{} << QString();
        QTest::newRow("capture fails") << true << true << 0 << 0 << QStringList{"réunion: micro indisponible"}
                                       << u"Micro indisponible"_s;
        QTest::newRow("read-only folder")
            << true << false << EROFS << 0
            << QStringList{"réunion: écriture impossible (Impossible d'enregistrer : dossier en lecture seule)"}
            << u"Impossible d'enregistrer : dossier en lecture seule"_s;
        QTest::newRow("disk full") << true << false << ENOSPC << 0
                                   << QStringList{"réunion: écriture impossible (Impossible d'enregistrer : disque plein)"}
                                   << u"Impossible d'enregistrer : disque plein"_s;
    }

    // The microphone goes away mid-meeting: the page and the capsule are told, the
    // counter stops, the recording resumes in the same spool when the source is
    // back, the meeting lasts what was recorded, and a short one is not dropped.
    void microphoneLost_data()
    {
        QTest::addColumn<qint64>("before");
        QTest::addColumn<bool>("returns");
        QTest::addColumn<qint64>("after");
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<bool>("stopWhileReturning"); // stopped while the microphone starts again
        QTest::newRow("comes back") << qint64(4) << true << qint64(5) << textOfTone(300) << false;
        QTest::newRow("short, stopped while lost") << qint64(2) << false << qint64(0) << textOfTone(300) << false;
        QTest::newRow("stopped while it comes back") << qint64(4) << true << qint64(0) << textOfTone(300) << true;
    }
    void microphoneLost()
    {
        QFETCH(qint64, before);
        QFETCH(bool, returns);
        QFETCH(qint64, after);
        QFETCH(QString, transcript);
        QFETCH(bool, stopWhileReturning);
        QSignalSpy notices(recorder_.get(), &MeetingRecorder::notice);
        QSemaphore hold;
        const auto release = qScopeGuard([&hold] { hold.release(8); });
        record({{300, before * kRate}});
        clockMs_ += before * 1000;
        mic_->fails = !returns; // a headset that stays unplugged
        mic_->lose();
        QVERIFY(TestEnv::waitFor([&] { return recorder_->microphoneLost(); }, 2000));
        QCOMPARE(recorder_->error(), MeetingRecorder::lostText());
        QCOMPARE(notices.count(), 1);
        QCOMPARE(notices.first().first().toString(), u"Micro perdu"_s);
        QCOMPARE(sounds_, (QStringList{"Tink", "Basso"}));
        QVERIFY(!mic_->feed(tone(300, kRate))); // nothing is captured while it is gone
        clockMs_ += 7000;
        QCOMPARE(recorder_->elapsedSeconds(), int(before));
        if (stopWhileReturning) {
            // The new capture starts, and the stop comes before the recorder hears of it.
            mic_->hold = &hold;
            QVERIFY(TestEnv::waitFor([&] { return mic_->starts == 2; }, 5000));
            hold.release();
            for (int i = 0; i < 500 && !mic_->capturing(); ++i)
                QTest::qSleep(10);
            QVERIFY(mic_->capturing());
            QTest::qSleep(50);
            stopAndWait();
            QVERIFY(TestEnv::waitFor([&] { return !mic_->capturing(); }, 3000)); // the microphone is not left open
        } else if (returns) {
            QVERIFY(TestEnv::waitFor([&] { return !recorder_->microphoneLost(); }, 5000));
            QCOMPARE(mic_->starts, 2);
            QVERIFY(recorder_->error().isEmpty());
            for (qint64 i = 0; i < after; ++i)
                QVERIFY(mic_->feed(tone(300, kRate)));
        }
        if (!stopWhileReturning)
            stopAndWait();
        QVERIFY(!recorder_->microphoneLost());
        const QList<Meeting> meetings = store_->meetings();
        QCOMPARE(meetings.size(), 1);
        QCOMPARE(meetings.first().duration, double(before + after));
        QCOMPARE(meetings.first().transcript, transcript);
        const QStringList lines = logLines();
        QVERIFY(lines.contains(u"réunion: micro perdu après "_s + QString::number(before) + u" s enregistrées"_s));
        QCOMPARE(lines.contains(u"réunion: micro retrouvé, enregistrement repris"_s), returns && !stopWhileReturning);
    }

    // A start that cannot record stays idle, without a sound, and says why.
    void refusedStarts()
    {
        QFETCH(bool, permission);
        QFETCH(bool, captureFails);
        QFETCH(int, fault);
        QFETCH(int, asked);
        QFETCH(QStringList, logs);
        QFETCH(QString, error);
        microphone_ = permission;
        mic_->fails = captureFails;
        PrivateFiles::setWriteFault(fault);
        const auto clear = qScopeGuard([] { PrivateFiles::setWriteFault(0); });
        QSignalSpy notices(recorder_.get(), &MeetingRecorder::notice);
        recorder_->toggle();
        QVERIFY(TestEnv::waitFor([&] { return mic_->starts > 0 || requests_ > 0 || !recorder_->error().isEmpty(); }, 2000));
        QTest::qWait(50);
        QCOMPARE(recorder_->state(), MeetingRecorder::State::Idle);
        QCOMPARE(requests_, asked);
        QVERIFY(sounds_.isEmpty());
        QCOMPARE(logLines(), logs);
        QCOMPARE(recorder_->error(), error);
        QCOMPARE(notices.count(), error.isEmpty() ? 0 : 1);
        QVERIFY(!QFile::exists(recorder_->spoolPath()));
    }

    // A toggle while processing changes nothing.
    void toggleWhileProcessing()
    {
        cloud_->setHandler([](const RecordedRequest &) {
            ScriptedReply r = ScriptedReply::json(chatCompletion(QStringLiteral("x")));
            r.delayMs = 300;
            return r;
        });
        record({{300, 5 * kRate}});
        recorder_->toggle();
        QVERIFY(TestEnv::waitFor([&] { return recorder_->state() == MeetingRecorder::State::Processing; }));
        recorder_->toggle();
        QCOMPARE(recorder_->state(), MeetingRecorder::State::Processing);
        QCOMPARE(mic_->starts, 1);
        QVERIFY(TestEnv::waitFor([&] { return recorder_->state() == MeetingRecorder::State::Idle; }, 10000));
        QCOMPARE(store_->meetings().size(), 1);
    }

    // A recording cut short is processed at the next start: after a quit (its
    // header fixed on the way out) or a crash (the header still a placeholder).
    void interruptedRecordingIsRecovered_data()
    {
        QTest::addColumn<bool>("crashed");
        QTest::addColumn<bool>("hasKey");
        QTest::addColumn<QString>("title");
        QTest::newRow("quit while recording") << false << true << "Point projet";
        QTest::newRow("crash while recording") << true << true << "Point projet";
        QTest::newRow("crash, no key: kept in Audio") << true << false << "Réunion non transcrite";
    }

    void interruptedRecordingIsRecovered()
    {
        QFETCH(bool, crashed);
        QFETCH(bool, hasKey);
        QFETCH(QString, title);
        if (!hasKey)
            TestEnv::keys()->setKeys({});
        const QString spool = QDir(folder_->path()).filePath(QStringLiteral("reunion-en-cours.wav"));
        const QByteArray pcm = tone(300, 30 * kRate);
        if (crashed) {
            // What a killed recorder leaves: the opening header, the samples, half a sample.
            recorder_.reset();
            QVERIFY(TestEnv::writeFile(spool, AudioRecorder::wav(QByteArray()) + pcm + QByteArray(1, '\x7f')));
        } else {
            record({{300, 30 * kRate}});
            recorder_.reset(); // the program ends while recording
        }
        QVERIFY(QFile::exists(spool));
        makeRecorder();
        QSignalSpy processed(recorder_.get(), &MeetingRecorder::processed);
        QVERIFY(recorder_->recoverSpool());
        // Without a key the one chunk fails at once.
        QVERIFY(!processed.isEmpty() || processed.wait(10000));
        QCOMPARE(recorder_->state(), MeetingRecorder::State::Idle);
        QCOMPARE(store_->meetings().size(), 1);
        const Meeting m = store_->meetings().first();
        QCOMPARE(m.title, title);
        QCOMPARE(m.duration, 30.0);
        QCOMPARE(m.transcript, hasKey ? textOfTone(300) : QString());
        QVERIFY(m.date.isValid() && m.date <= QDateTime::currentDateTime());
        // The one chunk went out whole, with a true header.
        if (hasKey) {
            QCOMPARE(wavSizes_, QList<qsizetype>{qsizetype(pcm.size()) + 44});
        }
        QVERIFY(!QFile::exists(spool));
        const QString kept = QDir(store_->audioDir()).filePath(MeetingRecorder::keptName(m.id));
        QCOMPARE(QFile::exists(kept), !hasKey);
        if (!hasKey) {
            const QByteArray file = TestEnv::readFile(kept);
            QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 40), quint32(pcm.size()));
            QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 4), quint32(pcm.size() + 36));
            QVERIFY(file.mid(44, pcm.size()) == pcm);
        }
        QVERIFY(logLines().contains(QStringLiteral("réunion: enregistrement interrompu retrouvé, 30 s")));
        // Nothing left to recover.
        QVERIFY(!recorder_->recoverSpool());
    }

    // A spool of 3 s or less left behind is dropped, not processed.
    void shortInterruptedRecordingIsDropped()
    {
        recorder_.reset();
        const QString spool = QDir(folder_->path()).filePath(QStringLiteral("reunion-en-cours.wav"));
        QVERIFY(TestEnv::writeFile(spool, AudioRecorder::wav(QByteArray()) + tone(300, 3 * kRate)));
        makeRecorder();
        QVERIFY(!recorder_->recoverSpool());
        QCOMPARE(recorder_->state(), MeetingRecorder::State::Idle);
        QVERIFY(!QFile::exists(spool));
        QVERIFY(store_->meetings().isEmpty());
    }

    // The summary's instruction, as sent.
    void summaryPrompt_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("prompt");
        const QString tail = QStringLiteral(
            ".\nRéponds uniquement en JSON : {\"title\": \"titre court\", \"summary\": \"résumé clair en quelques "
            "phrases ou points\",\n\"tasks\": [\"tâche à faire (qui, quoi, quand si connu)\", ...]}. Liste vide s'il "
            "n'y a pas de tâche.");
        const QString head = QStringLiteral("Tu reçois la transcription d'une réunion ou d'une discussion. Écris en ");
        QTest::newRow("fr") << "français" << head + u"français"_s + tail;
        QTest::newRow("auto")
            << "la langue parlée (français, anglais ou autre, sans jamais traduire)"
            << head + u"la langue parlée (français, anglais ou autre, sans jamais traduire)"_s + tail;
    }

    void summaryPrompt()
    {
        QFETCH(QString, language);
        QFETCH(QString, prompt);
        QCOMPARE(MeetingRecorder::summaryPrompt(language), prompt);
        QVERIFY(!prompt.endsWith(u'\n'));
    }
};

OMBRY_TEST_MAIN(TestMeetingRecorder)
#include "tst_meetingrecorder.moc"
