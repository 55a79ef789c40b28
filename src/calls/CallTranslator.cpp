#include "calls/CallTranslator.h"

#include "audio/AudioRecorder.h"
#include "calls/CallApps.h"
#include "calls/CallAudioQueue.h"
#include "calls/CallSegmenter.h"
#include "engines/EngineError.h"
#include "model/Defaults.h"
#include "core/Log.h"

#include <QPointer>

#include <climits>

using namespace Qt::StringLiterals;

namespace {

const QString kCallAppKey = u"callApp"_s;

} // namespace

// --- lines -------------------------------------------------------------------

int CallLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant CallLinesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= lines_.size())
        return {};
    const Line &line = lines_.at(index.row());
    switch (role) {
    case IdRole: return line.id;
    case EnRole: return line.en;
    case FrRole: return line.fr;
    case DoneRole: return line.done;
    default: return {};
    }
}

QHash<int, QByteArray> CallLinesModel::roleNames() const
{
    return {{IdRole, "lineId"}, {EnRole, "en"}, {FrRole, "fr"}, {DoneRole, "done"}};
}

int CallLinesModel::rowOf(qint64 id) const
{
    for (int i = 0; i < lines_.size(); ++i) {
        if (lines_.at(i).id == id)
            return i;
    }
    return -1;
}

void CallLinesModel::append(const Line &line)
{
    beginInsertRows({}, int(lines_.size()), int(lines_.size()));
    lines_.append(line);
    endInsertRows();
}

void CallLinesModel::update(int row, const Line &line)
{
    if (row < 0 || row >= lines_.size() || lines_.at(row) == line)
        return;
    lines_[row] = line;
    Q_EMIT dataChanged(index(row), index(row));
}

void CallLinesModel::removeAt(int row)
{
    if (row < 0 || row >= lines_.size())
        return;
    beginRemoveRows({}, row, row);
    lines_.removeAt(row);
    endRemoveRows();
}

void CallLinesModel::clear()
{
    if (lines_.isEmpty())
        return;
    beginRemoveRows({}, 0, int(lines_.size()) - 1);
    lines_.clear();
    endRemoveRows();
}

// --- caption texts -----------------------------------------------------------

CaptionTexts CaptionTexts::of(const QList<CallLinesModel::Line> &lines, const std::optional<QString> &error,
                              bool running, bool showEnglish)
{
    QList<const CallLinesModel::Line *> done;
    for (const CallLinesModel::Line &line : lines) {
        if (!line.fr.isEmpty())
            done.append(&line);
    }
    CaptionTexts texts;
    if (done.size() >= 2)
        texts.previous = done.at(done.size() - 2)->fr;
    if (!done.isEmpty())
        texts.main = done.last()->fr;
    else if (error)
        texts.main = *error;
    else
        texts.main = running ? u"J'écoute…"_s : u"Sous-titres arrêtés"_s;
    if (showEnglish && !done.isEmpty())
        texts.english = done.last()->en;
    return texts;
}

// --- translator --------------------------------------------------------------

CallTranslator::CallTranslator(CallServices services, QObject *parent)
    : QObject(parent)
    , services_(std::move(services))
    , queue_(std::make_unique<CallAudioQueue>())
    , segmenter_(std::make_unique<CallSegmenter>())
{
    if (services_.defaults) {
        // Read through the table: a choice stored by an earlier version names
        // the same application under its Linux identity.
        if (const auto stored = services_.defaults->string(kCallAppKey))
            target_ = CallApps::current(*stored);
    }
}

CallTranslator::~CallTranslator()
{
    acceptRun_.store(0);
    if (capture_)
        capture_->stop();
    capture_.reset();
    // The queue thread ends before the segmenter it uses goes.
    queue_.reset();
}

void CallTranslator::setRunning(bool running)
{
    if (running_ == running)
        return;
    running_ = running;
    Q_EMIT runningChanged();
}

void CallTranslator::setLive(const QString &live)
{
    if (live_ == live)
        return;
    live_ = live;
    Q_EMIT liveChanged();
}

void CallTranslator::setError(const std::optional<QString> &error)
{
    if (error_ == error)
        return;
    error_ = error;
    Q_EMIT errorChanged();
}

void CallTranslator::setTargetBundleID(const std::optional<QString> &id)
{
    // Stored at every assignment, also an unchanged one.
    if (services_.defaults) {
        if (id)
            services_.defaults->set(kCallAppKey, *id);
        else
            services_.defaults->remove(kCallAppKey);
    }
    if (target_ == id)
        return;
    target_ = id;
    Q_EMIT targetBundleIDChanged();
}

void CallTranslator::setTargetBundleIdText(const QString &id)
{
    setTargetBundleID(id.isEmpty() ? std::nullopt : std::optional<QString>(id));
}

std::optional<QString> CallTranslator::targetName() const
{
    if (!target_)
        return std::nullopt;
    if (services_.runningName) {
        if (const auto name = services_.runningName(*target_); name && !name->isEmpty())
            return name;
    }
    return CallApps::name(*target_).value_or(target_->section(QLatin1Char('.'), -1));
}

QString CallTranslator::targetLabel() const
{
    return targetName().value_or(u"Tout l'ordinateur"_s);
}

int CallTranslator::capturedStreams() const
{
    return capture_ ? capture_->streams() : 0;
}

QString CallTranslator::context(const QList<CallLinesModel::Line> &lines)
{
    QStringList texts;
    for (qsizetype i = std::max<qsizetype>(0, lines.size() - kContextLines); i < lines.size(); ++i) {
        if (!lines.at(i).en.trimmed().isEmpty())
            texts << lines.at(i).en;
    }
    return texts.join(QLatin1Char(' '));
}

QString CallTranslator::setupMessage(const std::exception &error)
{
    if (const auto *engine = dynamic_cast<const EngineError *>(&error)) {
        if (engine->kind() == EngineError::Kind::Http) {
            QString body = engine->body();
            if (!body.isEmpty())
                body[0] = body.at(0).toUpper();
            return body;
        }
        return engine->description();
    }
    return u"Impossible d'écouter le son de l'appel : "_s + describe(error);
}

void CallTranslator::toggle()
{
    if (running_ || checking_ != 0)
        stop();
    else
        start();
}

void CallTranslator::start()
{
    if (running_ || checking_ != 0)
        return;
    const quint64 check = ++checks_;
    checking_ = check;
    QPointer<CallTranslator> self(this);
    begin(check).then([] {}, [self, check](const std::exception &e) {
        Log::write(u"appel: "_s + describe(e));
        if (self && self->checking_ == check)
            self->checking_ = 0;
    });
}

QCoro::Task<void> CallTranslator::begin(quint64 check)
{
    QPointer<CallTranslator> self(this);
    if (services_.soundAvailable) {
        QCoro::Task<bool> asking = services_.soundAvailable();
        const bool sound = co_await std::move(asking);
        // Stopped, or gone, while the server was asked.
        if (!self || checking_ != check)
            co_return;
        if (!sound) {
            checking_ = 0;
            setError(u"Le son de l'ordinateur est inaccessible : vérifie que PulseAudio ou PipeWire fonctionne, puis relance."_s);
            Q_EMIT windowRequested();
            co_return;
        }
    }
    checking_ = 0;
    // A capture left from an earlier run never feeds this one.
    releaseCapture();
    lines_.clear();
    ++linesGen_;
    setLive(QString());
    setError(std::nullopt);
    const quint64 run = ++run_;
    queue_->mixer().clear();
    queue_->post([this] { segmenter_->reset(); });
    setRunning(true);
    Q_EMIT windowRequested();
    setUp(run).then([] {}, [self](const std::exception &e) {
        Log::write(u"appel: "_s + describe(e));
    });
}

QCoro::Task<void> CallTranslator::setUp(quint64 run)
{
    QPointer<CallTranslator> self(this);
    CaptureTarget target;
    target.bundleId = target_;
    if (services_.resolveTarget)
        target = services_.resolveTarget(target_);
    const std::optional<QString> name = targetName();
    std::shared_ptr<AppAudioCapture> capture(services_.makeCapture());
    capture_ = capture;
    acceptRun_.store(run);
    const quint64 gen = linesGen_.load();
    const quint64 epoch = queue_->mixer().epoch();

    AppAudioCapture::Handlers handlers;
    CallAudioQueue *queue = queue_.get();
    const bool paced = services_.paced;
    handlers.samples = [this, queue, run, paced, gen, epoch](quint32 stream, const float *samples, int count) {
        if (acceptRun_.load() != run)
            return;
        queue->mixer().push(stream, samples, count);
        if (!paced)
            queue->drain([this, gen](const float *block, int n) { onBlock(block, n, gen); }, epoch);
    };
    handlers.ended = [queue, run, this](quint32 stream) {
        if (acceptRun_.load() == run)
            queue->mixer().end(stream);
    };
    handlers.stopped = [self, run](QString description) {
        if (self)
            self->captureStopped(run, description);
    };
    queue_->mixer().setMaxQueued(paced ? CallMixer::kMaxQueued : INT_MAX);
    if (paced)
        queue_->startPacing([this, gen](const float *block, int n) { onBlock(block, n, gen); }, epoch);

    std::optional<QString> failure;
    std::optional<QString> logged;
    try {
        auto task = capture->start(target, handlers);
        co_await std::move(task);
    } catch (const TargetAbsent &) {
        const EngineError e = EngineError::http(u"Appel"_s, 0,
                                                u"ouvre "_s + name.value_or(u"l'appli"_s)
                                                    + u" d'abord, puis démarre les sous-titres"_s);
        failure = setupMessage(e);
        logged = e.description();
    } catch (const AudioError &e) {
        failure = u"Impossible d'écouter le son de l'appel : "_s + e.description();
        logged = e.description();
    } catch (const std::exception &e) {
        failure = setupMessage(e);
        logged = describe(e);
    }
    // Stopped or restarted while setting up: this run leaves nothing behind.
    if (!self || run_ != run || !running_) {
        capture->stop();
        co_return;
    }
    if (failure) {
        setError(failure);
        Log::write(u"appel: "_s + logged.value_or(QString()));
        setRunning(false);
        releaseCapture();
        co_return;
    }
    Log::write(u"appel: sous-titres démarrés ("_s + name.value_or(u"tout l'ordinateur"_s) + u")"_s);
}

void CallTranslator::releaseCapture()
{
    acceptRun_.store(0);
    if (capture_) {
        capture_->stop();
        capture_.reset();
    }
    queue_->stopPacing();
}

void CallTranslator::queueFlush()
{
    // A start may come before the queue gets here: its sound is not this run's.
    const quint64 epoch = queue_->mixer().epoch();
    const quint64 gen = linesGen_.load();
    // The mixer by address: while the translator goes, queue_ is already null
    // and the queue thread still runs what was posted.
    CallMixer *mixer = &queue_->mixer();
    queue_->post([this, mixer, epoch, gen] {
        // What was accepted before the stop still belongs to the run.
        const std::vector<float> rest = mixer->takeRest(epoch);
        for (size_t at = 0; at < rest.size(); at += CallMixer::kBlockSamples)
            onBlock(rest.data() + at, CallMixer::kBlockSamples, gen);
        if (const auto pcm = segmenter_->flush())
            sendSegment(*pcm, gen);
    });
}

void CallTranslator::stop()
{
    checking_ = 0;
    if (!running_)
        return;
    ++run_;
    setRunning(false);
    releaseCapture();
    queueFlush();
    Log::write(u"appel: arrêt, "_s + QString::number(lines_.lines().size()) + u" phrases"_s);
}

void CallTranslator::captureStopped(quint64 run, const QString &description)
{
    if (run != run_ || !running_)
        return;
    ++run_;
    setError(description);
    setRunning(false);
    releaseCapture();
    queueFlush();
}

void CallTranslator::onBlock(const float *block, int count, quint64 gen)
{
    if (const auto pcm = segmenter_->feed(block, count))
        sendSegment(*pcm, gen);
}

void CallTranslator::sendSegment(const QByteArray &pcm, quint64 gen)
{
    const qint64 id = nextID_++;
    QByteArray wav = AudioRecorder::wav(pcm);
    QPointer<CallTranslator> self(this);
    QMetaObject::invokeMethod(this, [self, id, wav, gen] {
        if (!self)
            return;
        // Lines cleared by a start since the cut: the segment belongs to no run.
        if (self->linesGen_.load() != gen)
            return;
        self->lines_.append({id, self->live_, QString(), false});
        self->setLive(QString());
        const QString context = CallTranslator::context(self->lines_.lines());
        Q_EMIT self->segmentSent(id);
        self->translate(id, wav, context).then([] {}, [](const std::exception &e) {
            Log::write(u"appel: "_s + describe(e));
        });
    }, Qt::QueuedConnection);
}

QCoro::Task<void> CallTranslator::translate(qint64 id, QByteArray wav, QString context)
{
    QPointer<CallTranslator> self(this);
    std::optional<QString> failure;
    try {
        auto task = services_.transcribe(wav, context);
        const GeminiSpeech::Translated answer = co_await std::move(task);
        if (!self)
            co_return;
        const int row = lines_.rowOf(id);
        if (row < 0)
            co_return;
        if (answer.en.isEmpty()) {
            lines_.removeAt(row);
            co_return;
        }
        CallLinesModel::Line line = lines_.lines().at(row);
        line.en = answer.en;
        line.fr = answer.fr;
        line.done = true;
        lines_.update(row, line);
        if (!answer.fr.isEmpty())
            setError(std::nullopt);
        co_return;
    } catch (const std::exception &e) {
        failure = describe(e);
    }
    if (!self)
        co_return;
    bool translated = false;
    const int row = lines_.rowOf(id);
    const QString preview = row >= 0 ? lines_.lines().at(row).en : QString();
    if (!preview.isEmpty() && services_.translate) {
        try {
            auto task = services_.translate(preview);
            const QString fr = co_await std::move(task);
            if (!self)
                co_return;
            const int again = lines_.rowOf(id);
            if (again >= 0) {
                CallLinesModel::Line line = lines_.lines().at(again);
                line.fr = fr;
                line.done = true;
                lines_.update(again, line);
                translated = !fr.isEmpty();
            }
        } catch (const std::exception &) {
            // The cloud's failure is the one told.
        }
        if (!self)
            co_return;
    }
    Log::write(u"appel: "_s + *failure);
    // A line the cloud lost would otherwise leave the bar listening forever.
    if (!translated && lines_.rowOf(id) >= 0)
        setError(failure);
}
