#include "app/Application.h"
#include "calls/MeetingRecorder.h"
#include "audio/MeetingSpool.h"
#include "fakes/FakeHttpService.h"
#include "fakes/MeetingTones.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using namespace MeetingTones;

// Empties what earlier writers left in the FIFO while nobody recorded.
void drain(const QString &fifo)
{
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return;
    char buffer[65536];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
}

// Writes `data` into the FIFO no further ahead of what the recorder has taken
// (`taken`) than a few seconds: the sound server reads the FIFO at once and drops
// what a record stream lagging under load has not read, which a microphone
// speaking in real time never makes it do. Gives up after 30 s without progress.
void feed(const QString &fifo, const QByteArray &data, const std::atomic<qint64> *taken)
{
    constexpr qint64 kSlice = 32000;     // one second
    constexpr qint64 kAhead = 4 * kSlice;
    QFile f(fifo);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    QElapsedTimer stalled;
    stalled.start();
    qint64 lastTaken = -1;
    for (qint64 at = 0; at < data.size();) {
        const qint64 now = taken->load();
        if (now != lastTaken) {
            lastTaken = now;
            stalled.restart();
        } else if (stalled.elapsed() > 30000) {
            return;
        }
        if (at - now > kAhead) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        const qint64 n = std::min(kSlice, data.size() - at);
        if (f.write(data.constData() + at, n) != n)
            return;
        at += n;
    }
}

// The program's own microphone capture, counting what it hands to the spool.
class CountingCapture final : public MeetingCapture
{
public:
    CountingCapture(std::unique_ptr<MeetingCapture> inner, std::shared_ptr<std::atomic<qint64>> bytes)
        : inner_(std::move(inner)), bytes_(std::move(bytes))
    {
    }
    void start(std::function<void(QByteArrayView)> sink) override
    {
        inner_->start([sink = std::move(sink), bytes = bytes_](QByteArrayView pcm) {
            sink(pcm);
            *bytes += pcm.size();
        });
    }
    void stop() override { inner_->stop(); }

private:
    std::unique_ptr<MeetingCapture> inner_;
    std::shared_ptr<std::atomic<qint64>> bytes_;
};

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
    const QStringList lines = QString::fromUtf8(TestEnv::readFile(Log::path())).split(u'\n');
    for (const QString &line : lines)
        if (line.contains(u"réunion: "_s) || line.contains(u"résumé: "_s))
            out << line.section(u' ', 1);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Pieces)

// Meetings recorded from the FIFO microphone "pipemic" of the private sound
// server through the program's own capture, spool and chunks, transcribed and
// summarised by a fake cloud on 127.0.0.1.
class TestMeetingMicrophone : public QObject
{
    Q_OBJECT

    FakeHttpService cloud_;
    std::unique_ptr<Application> root_;
    QString fifo_;
    std::shared_ptr<std::atomic<qint64>> captured_ = std::make_shared<std::atomic<qint64>>(0);
    QStringList sounds_;
    QStringList states_;
    QList<qsizetype> wavSizes_;
    QStringList progressAtRequest_;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        fifo_ = qEnvironmentVariable("OMBRY_TEST_MIC_FIFO");
        QVERIFY2(!fifo_.isEmpty(), "run under scripts/session");
        QVERIFY(cloud_.start());
        qputenv("OMBRY_OPENROUTER_URL", cloud_.url().toUtf8());
        qunsetenv("OMBRY_HOSTED_URL");
        // The production services, the microphone among them; only the sounds
        // are also noted.
        Application::Options options;
        options.meetings = [this](MeetingServices &s) {
            auto make = s.makeCapture;
            s.makeCapture = [make, bytes = captured_] { return std::make_unique<CountingCapture>(make(), bytes); };
            auto play = s.playSound;
            s.playSound = [this, play](const QString &name) {
                sounds_ << name;
                play(name);
            };
        };
        root_ = std::make_unique<Application>(options);
        root_->settings()->setMicrophoneUID(u"pipemic"_s);
        root_->settings()->setLanguage(Language::Fr);
        root_->settings()->setOwnKeyMode(true);

        cloud_.setHandler([this](const RecordedRequest &r) {
            const QByteArray wav = r.chatAudio();
            if (wav.isEmpty())
                return ScriptedReply::chat(uR"({"title":"Point projet","summary":"Résumé.","tasks":["Envoyer le devis"]})"_s);
            wavSizes_ << wav.size();
            progressAtRequest_ << root_->meetingRecorder()->progress();
            const int hz = toneOf(wav);
            if (hz == 1200)
                return ScriptedReply::text("upstream down", 502);
            // Slow enough that a second request sent early would arrive while
            // this one's chunk is still shown.
            return ScriptedReply::chat(textOfTone(hz), 150);
        });

        MeetingRecorder *recorder = root_->meetingRecorder();
        connect(recorder, &MeetingRecorder::stateChanged, this, [this, recorder] {
            const QString now = recorder->progress().isEmpty()
                ? QString::fromLatin1(QMetaEnum::fromType<MeetingRecorder::State>().valueToKey(int(recorder->state())))
                : recorder->progress();
            if (states_.isEmpty() || states_.last() != now)
                states_ << now;
        });
    }

    void cleanupTestCase() { root_.reset(); }

    // A row that failed half-way leaves no recording running for the next one.
    void cleanup()
    {
        MeetingRecorder *recorder = root_->meetingRecorder();
        if (recorder->state() == MeetingRecorder::State::Recording)
            recorder->toggle();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Idle; }, 60000));
    }

    void meeting_data()
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
        const QString sep = u"\n\n"_s;
        const QStringList three{u"Recording"_s, u"Transcription…"_s, u"Transcription 1/3…"_s, u"Transcription 2/3…"_s,
                                u"Transcription 3/3…"_s, u"Résumé…"_s, u"Idle"_s};
        QTest::newRow("three tones, seven minutes")
            << Pieces{{300, 180 * kRate}, {600, 180 * kRate}, {900, 60 * kRate}} << true << three
            << QList<qsizetype>{5'760'044, 5'760'044, 1'920'044} << u"Point projet"_s << (t1 + sep + t2 + sep + t3)
            << false
            << QStringList{u"réunion: début"_s, u"réunion: fin, 420 s"_s,
                           u"réunion: enregistrée (52 caractères, 1 tâches)"_s};
        QTest::newRow("chunk 2 fails: the others stay, the recording is kept")
            << Pieces{{300, 180 * kRate}, {1200, 180 * kRate}, {900, 60 * kRate}} << true << three
            << QList<qsizetype>{5'760'044, 5'760'044, 1'920'044} << u"Point projet"_s << (t1 + sep + t3) << true
            << QStringList{u"réunion: début"_s, u"réunion: fin, 420 s"_s,
                           u"réunion: morceau 2 Gemini : erreur 502"_s,
                           u"réunion: enregistrée (34 caractères, 1 tâches)"_s};
        QTest::newRow("no key: kept and saved untranscribed")
            << Pieces{{300, 10 * kRate}} << false
            << QStringList{u"Recording"_s, u"Transcription…"_s, u"Transcription 1/1…"_s, u"Idle"_s}
            << QList<qsizetype>{} << u"Réunion non transcrite"_s << QString() << true
            << QStringList{u"réunion: début"_s, u"réunion: fin, 10 s"_s, u"réunion: morceau 1 *"_s,
                           u"réunion: non transcrite, enregistrement conservé (*)"_s};
        QTest::newRow("three seconds are dropped")
            << Pieces{{300, 3 * kRate}} << true << QStringList{u"Recording"_s, u"Idle"_s} << QList<qsizetype>{}
            << QString() << QString() << false << QStringList{u"réunion: début"_s, u"réunion: fin, 3 s"_s};
    }

    void meeting()
    {
        QFETCH(Pieces, pieces);
        QFETCH(bool, hasKey);
        QFETCH(QStringList, states);
        QFETCH(QList<qsizetype>, wavs);
        QFETCH(QString, title);
        QFETCH(QString, transcript);
        QFETCH(bool, kept);
        QFETCH(QStringList, logs);

        Store *store = root_->store();
        MeetingRecorder *recorder = root_->meetingRecorder();
        root_->keys()->setKeys(hasKey ? KeyStore::Keys{{APIService::OpenRouter, u"sk-test"_s}}
                                      : KeyStore::Keys{});
        store->setMeetings({});
        store->flush();
        Log::waitUntilWritten();
        QFile::remove(Log::path());
        sounds_.clear();
        states_.clear();
        wavSizes_.clear();
        progressAtRequest_.clear();
        *captured_ = 0;
        drain(fifo_);

        QByteArray pcm;
        for (const Piece &p : pieces)
            pcm += tone(p.hz, p.samples);

        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        recorder->toggle();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Recording; }, 5000));
        // Written as fast as the sound server reads it; stopped once every byte
        // has reached the recorder, never after a delay.
        std::thread writer(feed, fifo_, pcm, captured_.get());
        const bool arrived = TestEnv::waitFor([&] { return captured_->load() >= pcm.size(); }, 120000);
        writer.join();
        QVERIFY2(arrived, qPrintable(u"%1 of %2 bytes"_s.arg(captured_->load()).arg(pcm.size())));
        QVERIFY(QFile::exists(recorder->spoolPath()));

        QSignalSpy processed(recorder, &MeetingRecorder::processed);
        recorder->toggle();
        QVERIFY(TestEnv::waitFor([&] {
            return recorder->state() == MeetingRecorder::State::Idle && (!processed.isEmpty() || (wavs.isEmpty() && title.isEmpty()));
        }, 60000));
        QCOMPARE(captured_->load(), qint64(pcm.size()));

        QCOMPARE(states_, states);
        QCOMPARE(wavSizes_, wavs);
        // One request at a time: each came while its own chunk was shown.
        QCOMPARE(progressAtRequest_.size(), wavs.size());
        for (int i = 0; i < progressAtRequest_.size(); ++i)
            QCOMPARE(progressAtRequest_.at(i), MeetingRecorder::chunkProgress(i + 1, int(wavs.size())));
        QCOMPARE(sounds_, (QStringList{u"Tink"_s, u"Pop"_s}));

        store->flush();
        const QJsonArray saved = QJsonDocument::fromJson(
            TestEnv::readFile(QDir(store->dataFolder()).filePath(u"meetings.json"_s))).array();
        if (title.isEmpty()) {
            QVERIFY(saved.isEmpty());
            QVERIFY(store->meetings().isEmpty());
        } else {
            QCOMPARE(saved.size(), 1);
            const QJsonObject m = saved.at(0).toObject();
            QCOMPARE(m.value(u"title"_s).toString(), title);
            QCOMPARE(m.value(u"duration"_s).toDouble(), double(pcm.size() / 2) / kRate);
            QCOMPARE(m.value(u"transcript"_s).toString(), transcript);
            const QDateTime date = QDateTime::fromString(m.value(u"date"_s).toString(), Qt::ISODate);
            QVERIFY2(date >= before.toUTC().addSecs(-1) && date <= QDateTime::currentDateTimeUtc(),
                     qPrintable(m.value(u"date"_s).toString()));
            if (!kept) {
                QCOMPARE(m.value(u"summary"_s).toString(), u"Résumé."_s);
                QCOMPARE(m.value(u"tasks"_s).toArray(), QJsonArray{u"Envoyer le devis"_s});
            }
            const QUuid id = QUuid::fromString(m.value(u"id"_s).toString());
            const QString keptFile = QDir(store->audioDir()).filePath(MeetingRecorder::keptName(id));
            QCOMPARE(QFile::exists(keptFile), kept);
            if (kept) {
                // The summary names the file kept; the file is the whole
                // recording, its header fixed.
                QVERIFY2(m.value(u"summary"_s).toString().contains(MeetingRecorder::keptName(id)),
                         qPrintable(m.value(u"summary"_s).toString()));
                const QByteArray file = TestEnv::readFile(keptFile);
                QCOMPARE(file.size(), pcm.size() + 44);
                QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 4), quint32(pcm.size() + 36));
                QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 40), quint32(pcm.size()));
                QVERIFY(file.mid(44) == pcm);
                // Deleting the card takes the recording with it.
                recorder->remove(id.toString());
                QVERIFY(!QFile::exists(keptFile));
                QVERIFY(store->meetings().isEmpty());
            }
        }
        // The spool never outlives its processing.
        QVERIFY(!QFile::exists(recorder->spoolPath()));

        const QStringList got = logLines();
        QCOMPARE(got.size(), logs.size());
        for (int i = 0; i < logs.size(); ++i) {
            const QRegularExpression re(QRegularExpression::anchoredPattern(
                QRegularExpression::wildcardToRegularExpression(logs.at(i), QRegularExpression::UnanchoredWildcardConversion)));
            QVERIFY2(re.match(got.at(i)).hasMatch(), qPrintable(got.at(i)));
        }
    }

    // A quit while recording leaves the spool; the next start processes it.
    void quitWhileRecordingIsRecovered()
    {
        root_->keys()->setKeys({{APIService::OpenRouter, u"sk-test"_s}});
        Store *store = root_->store();
        store->setMeetings({});
        MeetingRecorder *recorder = root_->meetingRecorder();
        *captured_ = 0;
        drain(fifo_);
        recorder->toggle();
        QVERIFY(TestEnv::waitFor([&] { return recorder->state() == MeetingRecorder::State::Recording; }, 5000));
        const QByteArray pcm = tone(600, 20 * kRate);
        std::thread writer(feed, fifo_, pcm, captured_.get());
        const bool arrived = TestEnv::waitFor([&] { return captured_->load() >= pcm.size(); }, 60000);
        writer.join();
        QVERIFY(arrived);
        const QString spool = recorder->spoolPath();
        store->flush();

        // The program ends while recording.
        root_.reset();
        QVERIFY(QFile::exists(spool));
        QCOMPARE(MeetingSpool::pcmSize(spool), qint64(pcm.size()));

        root_ = std::make_unique<Application>();
        root_->keys()->setKeys({{APIService::OpenRouter, u"sk-test"_s}});
        recorder = root_->meetingRecorder();
        QSignalSpy processed(recorder, &MeetingRecorder::processed);
        QVERIFY(recorder->recoverSpool());
        QVERIFY(!processed.isEmpty() || processed.wait(20000));
        QCOMPARE(root_->store()->meetings().size(), 1);
        const Meeting m = root_->store()->meetings().first();
        QCOMPARE(m.duration, 20.0);
        QCOMPARE(m.transcript, textOfTone(600));
        QCOMPARE(m.title, u"Point projet"_s);
        QVERIFY(!QFile::exists(spool));
    }
};

OMBRY_TEST_APP_MAIN(TestMeetingMicrophone)
#include "tst_meeting_microphone.moc"
