#include "calls/MeetingRecorder.h"

#include "audio/AudioRecorder.h"
#include "audio/MeetingSpool.h"
#include "engines/EngineError.h"
#include "engines/GeminiSpeech.h"
#include "core/Log.h"
#include "core/PrivateFiles.h"
#include "model/Records.h"
#include "model/Store.h"
#include "model/TextUtil.h"
#include "platform/Clipboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QPointer>
#include <QtConcurrent>

#include <chrono>
#include <malloc.h>

#include <QCoro/QCoroFuture>
#include <qcoro/qcorotimer.h>

using namespace Qt::StringLiterals;

namespace {

QString failureText(const std::exception &e)
{
    if (const auto *audio = dynamic_cast<const AudioError *>(&e))
        return audio->description();
    return describe(e);
}

QString upperId(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

MeetingRecorder::MeetingRecorder(MeetingServices services, QObject *parent)
    : QObject(parent), services_(std::move(services))
{
    if (services_.store)
        connect(services_.store, &Store::erased, this, [this] {
            if (state_ == State::Recording && !busy_)
                handled(dropRecording());
        });
}

QString MeetingRecorder::lostText()
{
    return u"Micro perdu : l'enregistrement reprend dès qu'il revient"_s;
}

QString MeetingRecorder::writeFailedText()
{
    return u"Enregistrement arrêté : le disque refuse d'écrire (plein ?). Ce qui a été enregistré est gardé."_s;
}

void MeetingRecorder::setError(const QString &error)
{
    if (error_ == error)
        return;
    error_ = error;
    Q_EMIT errorChanged();
}

MeetingRecorder::~MeetingRecorder()
{
    // A recording cut short by the end of the program stays in its spool file
    // for the next run.
    if (capture_)
        capture_->stop();
    if (spool_)
        spool_->finish();
}

QString MeetingRecorder::spoolPath() const
{
    return QDir(services_.store->dataFolder()).filePath(u"reunion-en-cours.wav"_s);
}

QString MeetingRecorder::keptName(const QUuid &meetingId)
{
    return u"reunion-"_s + upperId(meetingId) + u".wav"_s;
}

void MeetingRecorder::removeKept(Store *store, const QUuid &meetingId)
{
    if (!store)
        return;
    PrivateFiles::removeOwned(store->dataFolder(), u"Audio/"_s + keptName(meetingId));
}

void MeetingRecorder::remove(const QString &meetingId)
{
    const QUuid id = QUuid::fromString(meetingId);
    if (!id.isNull())
        services_.store->removeMeeting(id);
}

QString MeetingRecorder::chunkProgress(int index, int count)
{
    return u"Transcription "_s + QString::number(index) + u'/' + QString::number(count) + u"…"_s;
}

int MeetingRecorder::chunkCount(qint64 pcmBytes)
{
    return int(std::max<qint64>(1, (pcmBytes + kChunkBytes - 1) / kChunkBytes));
}

QString MeetingRecorder::summaryPrompt(const QString &languageName)
{
    return u"Tu reçois la transcription d'une réunion ou d'une discussion. Écris en "_s + languageName
        + u".\nRéponds uniquement en JSON : {\"title\": \"titre court\", \"summary\": \"résumé clair en quelques phrases ou points\",\n\"tasks\": [\"tâche à faire (qui, quoi, quand si connu)\", ...]}. Liste vide s'il n'y a pas de tâche."_s;
}

std::optional<MeetingRecorder::Summary> MeetingRecorder::readSummary(const QString &reply, QString *error)
{
    auto fail = [error](const QString &why) -> std::optional<Summary> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString kept = GeminiSpeech::jsonCut(reply);
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(kept.toUtf8(), &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(u"réponse illisible ("_s + parse.errorString() + u')');
    if (!doc.isObject())
        return fail(u"réponse illisible (pas un objet JSON)"_s);
    const QJsonObject o = doc.object();
    Summary s{u"Réunion"_s, QString(), {}};
    const QJsonValue title = o.value(u"title"_s);
    if (title.isString())
        s.title = title.toString();
    else if (!title.isNull() && !title.isUndefined())
        return fail(u"réponse illisible (« title » n'est pas un texte)"_s);
    const QJsonValue summary = o.value(u"summary"_s);
    if (summary.isString())
        s.summary = summary.toString();
    else if (!summary.isNull() && !summary.isUndefined())
        return fail(u"réponse illisible (« summary » n'est pas un texte)"_s);
    const QJsonValue tasks = o.value(u"tasks"_s);
    if (tasks.isArray()) {
        const QJsonArray list = tasks.toArray();
        for (const QJsonValue &task : list) {
            if (!task.isString())
                return fail(u"réponse illisible (« tasks » n'est pas une liste de textes)"_s);
            s.tasks << task.toString();
        }
    } else if (!tasks.isNull() && !tasks.isUndefined()) {
        return fail(u"réponse illisible (« tasks » n'est pas une liste)"_s);
    }
    return s;
}

QString MeetingRecorder::elapsedText(int seconds)
{
    seconds = std::max(0, seconds);
    return QString::asprintf("%d:%02d", seconds / 60, seconds % 60);
}

QString MeetingRecorder::cardLine(const QDateTime &date, double duration)
{
    const QLocale fr(QLocale::French, QLocale::France);
    const qint64 minutes = duration > 0 ? qint64(duration) / 60 : 0;
    return fr.toString(date.toLocalTime(), u"dddd d MMM HH:mm"_s) + u" · "_s + fr.toString(minutes) + u" min"_s;
}

QString MeetingRecorder::copyText(const QString &title, const QString &summary, const QStringList &tasks)
{
    QStringList lines;
    for (const QString &task : tasks)
        lines << u"- "_s + task;
    return title + u"\n\n"_s + summary + u"\n\n"_s + lines.join(u'\n');
}

void MeetingRecorder::copy(const QString &title, const QString &summary, const QStringList &tasks)
{
    Clipboard::setText(copyText(title, summary, tasks));
}

qint64 MeetingRecorder::clockMs() const
{
    if (services_.clock)
        return services_.clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int MeetingRecorder::elapsedSeconds() const
{
    if (state_ != State::Recording)
        return 0;
    // What was recorded: the time without a microphone does not count.
    const qint64 now = clockMs();
    const qint64 without = lostMs_ + (lost_ ? now - lostSince_ : 0);
    return int(std::max<qint64>(0, now - recordingSince_ - without) / 1000);
}

void MeetingRecorder::setState(State state, const QString &progress)
{
    if (state_ == state && progress_ == progress)
        return;
    state_ = state;
    progress_ = progress;
    Q_EMIT stateChanged();
}

void MeetingRecorder::handled(QCoro::Task<void> task)
{
    std::move(task).then([] {}, [](const std::exception &e) { Log::write(u"réunion: "_s + failureText(e)); });
}

void MeetingRecorder::toggle()
{
    if (busy_)
        return;
    switch (state_) {
    case State::Idle:
        handled(startRecording());
        break;
    case State::Recording:
        handled(stopRecording());
        break;
    case State::Processing:
        break;
    }
}

QCoro::Task<void> MeetingRecorder::startRecording()
{
    if (services_.microphoneAllowed && !services_.microphoneAllowed()) {
        if (services_.requestMicrophone)
            services_.requestMicrophone();
        co_return;
    }
    QPointer<MeetingRecorder> self(this);
    setError({});
    auto spool = std::make_shared<MeetingSpool>();
    // On the sound thread: the stop is decided on the main one.
    spool->onFailure = [self] {
        QMetaObject::invokeMethod(qApp, [self] {
            if (self)
                self->spoolFailed();
        });
    };
    if (!spool->open(spoolPath())) {
        // The meeting is written as it is recorded: without a place for it, it does not start.
        const QString problem = Store::problemText(spool->error());
        Log::write(u"réunion: écriture impossible ("_s + problem + u')');
        refuse(problem);
        co_return;
    }
    const quint64 generation = ++recording_;
    std::shared_ptr<MeetingCapture> capture = makeCapture(generation);
    busy_ = true;
    auto future = QtConcurrent::run([capture, spool]() -> QString {
        try {
            capture->start([spool](QByteArrayView pcm) { spool->append(pcm); });
        } catch (const std::exception &e) {
            const QString text = failureText(e);
            return text.isEmpty() ? u"erreur"_s : text;
        }
        return {};
    });
    const QString failure = co_await future;
    if (!self) {
        capture->stop();
        co_return;
    }
    busy_ = false;
    if (!failure.isEmpty()) {
        spool->finish();
        PrivateFiles::removeOwnedPath(spool->path());
        Log::write(u"réunion: micro indisponible"_s);
        refuse(u"Micro indisponible"_s);
        co_return;
    }
    capture_ = capture;
    spool_ = spool;
    lost_ = false;
    hadLoss_ = false;
    lostMs_ = 0;
    startedAt_ = QDateTime::currentDateTime();
    recordingSince_ = clockMs();
    setState(State::Recording);
    if (services_.playSound)
        services_.playSound(u"Tink"_s);
    Log::write(u"réunion: début"_s);
}

// Stops the capture off the main thread; the spool it fed is handed back.
QCoro::Task<std::shared_ptr<MeetingSpool>> MeetingRecorder::endCapture()
{
    std::shared_ptr<MeetingCapture> capture = std::exchange(capture_, nullptr);
    std::shared_ptr<MeetingSpool> spool = std::exchange(spool_, nullptr);
    busy_ = true;
    auto future = QtConcurrent::run([capture] {
        if (capture)
            capture->stop();
    });
    co_await future;
    co_return spool;
}

QCoro::Task<void> MeetingRecorder::stopRecording()
{
    QPointer<MeetingRecorder> self(this);
    QCoro::Task<std::shared_ptr<MeetingSpool>> ending = endCapture();
    const std::shared_ptr<MeetingSpool> spool = co_await std::move(ending);
    const qint64 bytes = spool ? spool->finish() : 0;
    if (!self)
        co_return;
    busy_ = false;
    if (services_.playSound)
        services_.playSound(u"Pop"_s);
    const double seconds = double(bytes / 2) / AudioRecorder::kSampleRate;
    Log::write(u"réunion: fin, "_s + QString::number(qint64(seconds)) + u" s"_s);
    if (lost_) {
        lost_ = false;
        setError({});
    }
    // After a lost microphone, what was recorded is kept however short: the user
    // spoke for longer than that.
    if (seconds <= kShortest && (!hadLoss_ || bytes < 2)) {
        if (spool)
            PrivateFiles::removeOwnedPath(spool->path());
        setState(State::Idle);
        co_return;
    }
    setState(State::Processing, u"Transcription…"_s);
    auto task = process(spool->path(), seconds, startedAt_);
    co_await std::move(task);
}

void MeetingRecorder::spoolFailed()
{
    if (state_ != State::Recording || busy_ || !spool_ || !spool_->failed())
        return;
    Log::write(u"réunion: écriture impossible, enregistrement arrêté à "_s
               + QString::number(qint64(double(spool_->pcmBytes() / 2) / AudioRecorder::kSampleRate)) + u" s"_s);
    setError(writeFailedText());
    if (services_.playSound)
        services_.playSound(u"Basso"_s);
    // What was written goes on to be transcribed, as after a stop.
    handled(stopRecording());
}

void MeetingRecorder::refuse(const QString &why)
{
    setError(why);
    Q_EMIT notice(why);
}

std::shared_ptr<MeetingCapture> MeetingRecorder::makeCapture(quint64 generation)
{
    std::shared_ptr<MeetingCapture> capture(services_.makeCapture());
    QPointer<MeetingRecorder> self(this);
    // On the sound thread: the recorder decides on the main one.
    capture->onLost = [self, generation] {
        QMetaObject::invokeMethod(qApp, [self, generation] {
            if (self)
                self->captureLost(generation);
        });
    };
    return capture;
}

// The source went away: what was recorded stays in the spool, the user is told,
// and the microphone is sought again; the recording goes on in the same spool.
void MeetingRecorder::captureLost(quint64 generation)
{
    if (generation != recording_ || state_ != State::Recording || lost_ || !spool_)
        return;
    lost_ = true;
    hadLoss_ = true;
    lostSince_ = clockMs();
    Log::write(u"réunion: micro perdu après "_s
               + QString::number(qint64(double(spool_->pcmBytes() / 2) / AudioRecorder::kSampleRate)) + u" s enregistrées"_s);
    setError(lostText());
    if (services_.playSound)
        services_.playSound(u"Basso"_s);
    Q_EMIT notice(u"Micro perdu"_s);
    std::shared_ptr<MeetingCapture> gone = std::exchange(capture_, nullptr);
    handled(reconnect(generation, std::move(gone)));
}

QCoro::Task<void> MeetingRecorder::reconnect(quint64 generation, std::shared_ptr<MeetingCapture> gone)
{
    QPointer<MeetingRecorder> self(this);
    auto stopping = QtConcurrent::run([gone] {
        if (gone)
            gone->stop();
    });
    co_await stopping;
    // A stop or an erase takes the spool at once, before its capture has ended: a
    // capture that starts after that is not the recording's.
    const auto stillLost = [&] {
        return self && self->recording_ == generation && self->state_ == State::Recording && self->lost_ && self->spool_;
    };
    while (stillLost()) {
        co_await QCoro::sleepFor(std::chrono::milliseconds(kReconnectMs));
        if (!stillLost())
            co_return;
        std::shared_ptr<MeetingCapture> capture = makeCapture(generation);
        std::shared_ptr<MeetingSpool> spool = spool_;
        auto starting = QtConcurrent::run([capture, spool]() -> bool {
            try {
                capture->start([spool](QByteArrayView pcm) { spool->append(pcm); });
                return true;
            } catch (const std::exception &) {
                return false;
            }
        });
        const bool started = co_await starting;
        if (!stillLost()) {
            // Stopped, or ended, while it started: the new capture goes at once.
            if (started) {
                auto closing = QtConcurrent::run([capture] { capture->stop(); });
                co_await closing;
            }
            co_return;
        }
        if (!started)
            continue;
        capture_ = capture;
        lost_ = false;
        lostMs_ += clockMs() - lostSince_;
        setError({});
        Log::write(u"réunion: micro retrouvé, enregistrement repris"_s);
    }
}

QCoro::Task<void> MeetingRecorder::dropRecording()
{
    QPointer<MeetingRecorder> self(this);
    QCoro::Task<std::shared_ptr<MeetingSpool>> ending = endCapture();
    const std::shared_ptr<MeetingSpool> spool = co_await std::move(ending);
    if (spool) {
        spool->finish();
        PrivateFiles::removeOwnedPath(spool->path());
    }
    if (!self)
        co_return;
    busy_ = false;
    lost_ = false;
    Log::write(u"réunion: abandonnée, données effacées"_s);
    setState(State::Idle);
}

bool MeetingRecorder::recoverSpool()
{
    const QString path = spoolPath();
    // Only the program's own file: a link of that name is never read nor sent.
    if (state_ != State::Idle || busy_ || !PrivateFiles::isOwned(services_.store->dataFolder(), QFileInfo(path).fileName()))
        return false;
    const MeetingSpool::Left left = MeetingSpool::recover(path);
    Log::write(u"réunion: enregistrement interrompu retrouvé, "_s + QString::number(qint64(left.seconds)) + u" s"_s);
    if (left.seconds <= kShortest) {
        PrivateFiles::removeOwnedPath(path);
        return false;
    }
    setState(State::Processing, u"Transcription…"_s);
    handled(process(path, left.seconds, left.date));
    return true;
}

QCoro::Task<void> MeetingRecorder::process(QString path, double duration, QDateTime date)
{
    QPointer<MeetingRecorder> self(this);
    Store *store = services_.store;
    // An erase while the meeting is processed: nothing of it goes into the emptied store.
    const quint64 erasures = store->erasures();
    const auto erased = [&] {
        if (store->erasures() == erasures)
            return false;
        PrivateFiles::removeOwnedPath(path);
        Log::write(u"réunion: abandonnée, données effacées"_s);
        setState(State::Idle);
        Q_EMIT processed();
        return true;
    };
    const qint64 bytes = MeetingSpool::pcmSize(path);
    const int count = chunkCount(bytes);
    const Language language = services_.language ? services_.language() : Language::Fr;
    const QString languageName = promptName(language);
    QStringList texts;
    QStringList errors;
    for (int i = 1; i <= count; ++i) {
        setState(State::Processing, chunkProgress(i, count));
        const qint64 offset = qint64(i - 1) * kChunkBytes;
        const QByteArray wav = MeetingSpool::chunkWav(path, offset, std::min(kChunkBytes, bytes - offset));
        try {
            auto task = services_.transcribe(wav, languageName, store->words());
            QString text = co_await std::move(task);
            if (!self || erased())
                co_return;
            texts << text;
        } catch (const std::exception &e) {
            if (!self || erased())
                co_return;
            errors << failureText(e);
            Log::write(u"réunion: morceau "_s + QString::number(i) + u' ' + errors.last());
        }
    }
    texts.removeAll(QString());
    const QString transcript = texts.join(u"\n\n"_s);

    Meeting meeting;
    meeting.date = date;
    meeting.duration = duration;
    meeting.title = u"Réunion"_s;
    meeting.transcript = transcript;

    // A recording that could not be (wholly) transcribed is kept, never lost.
    auto keep = [&]() -> QString {
        const QString name = keptName(meeting.id);
        const QString target = QDir(store->audioDir()).filePath(name);
        PrivateFiles::removeOwned(store->dataFolder(), u"Audio/"_s + name);
        if (QFileInfo(target).exists() || QFileInfo(target).isSymLink())
            return {};
        if (QFile::rename(path, target) || (QFile::copy(path, target) && PrivateFiles::removeOwnedPath(path)))
            return name;
        return {};
    };

    if (transcript.isEmpty()) {
        if (errors.isEmpty()) {
            PrivateFiles::removeOwnedPath(path);
        } else {
            const QString name = keep();
            meeting.title = u"Réunion non transcrite"_s;
            meeting.summary = u"La transcription a échoué : "_s + errors.last() + u"\n\n"_s
                + (name.isEmpty() ? u"L'enregistrement n'a pas pu être conservé."_s
                                  : u"L'enregistrement est conservé dans Audio : "_s + name);
            store->addMeeting(meeting);
            Log::write(u"réunion: non transcrite, enregistrement conservé ("_s + name + u')');
        }
        setState(State::Idle);
        Q_EMIT processed();
        co_return;
    }

    setState(State::Processing, u"Résumé…"_s);
    auto summaryTask = summarize(transcript);
    const std::optional<Summary> summary = co_await std::move(summaryTask);
    if (!self || erased())
        co_return;
    if (summary) {
        meeting.title = summary->title;
        meeting.summary = summary->summary;
        meeting.tasks = summary->tasks;
    }
    if (errors.isEmpty()) {
        PrivateFiles::removeOwnedPath(path);
    } else {
        const QString name = keep();
        const QString note = u"Transcription incomplète : "_s + QString::number(errors.size()) + u" morceau"_s
            + (errors.size() > 1 ? u"x"_s : QString()) + u" sur "_s + QString::number(count)
            + u" en échec ("_s + errors.last() + u"). "_s
            + (name.isEmpty() ? u"L'enregistrement n'a pas pu être conservé."_s
                              : u"L'enregistrement est conservé dans Audio : "_s + name);
        meeting.summary = meeting.summary.isEmpty() ? note : meeting.summary + u"\n\n"_s + note;
    }
    store->addMeeting(meeting);
    Log::write(u"réunion: enregistrée ("_s + QString::number(TextUtil::characterCount(transcript))
               + u" caractères, "_s + QString::number(meeting.tasks.size()) + u" tâches)"_s);
    setState(State::Idle);
    // The chunks' buffers are freed by now; hand the heap's free pages back so
    // a long meeting does not leave the program larger than before it.
    ::malloc_trim(0);
    Q_EMIT processed();
}

QCoro::Task<std::optional<MeetingRecorder::Summary>> MeetingRecorder::summarize(QString transcript)
{
    const Language language = services_.language ? services_.language() : Language::Fr;
    QString reply;
    try {
        auto task = services_.complete(summaryPrompt(promptName(language)), transcript, kModel);
        reply = co_await std::move(task);
    } catch (const std::exception &e) {
        Log::write(u"résumé: "_s + failureText(e));
        co_return std::nullopt;
    }
    QString error;
    std::optional<Summary> summary = readSummary(reply, &error);
    if (!summary)
        Log::write(u"résumé: "_s + error);
    co_return summary;
}
