#include "model/Store.h"


#include "model/IdentityMigration.h"
#include "core/Log.h"
#include "core/PrivateFiles.h"
#include "model/TextUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// The store's serial worker thread. Jobs run one at a time in order of due time (then
// of submission); a keyed job replaces a waiting job of the same key.
class StoreIo
{
public:
    using Clock = std::chrono::steady_clock;

    StoreIo()
        : thread_([this] { run(); })
    {
    }

    ~StoreIo()
    {
        flush();
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // A keyed job returns false when it failed; it is then tried again later, unless a
    // newer job of its key replaced it or a flush is running.
    void schedule(const QString &key, std::chrono::milliseconds delay, std::function<bool()> job)
    {
        {
            std::lock_guard lock(mutex_);
            std::erase_if(jobs_, [&](const Job &j) { return j.key == key; });
            jobs_.push_back({++sequence_, key, Clock::now() + delay, std::move(job)});
        }
        wake_.notify_all();
    }

    void post(std::function<void()> job)
    {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({++sequence_, QString(), Clock::now(), [job = std::move(job)] {
                                 job();
                                 return true;
                             }});
        }
        wake_.notify_all();
    }

    // Drops every job that has not started.
    void cancelAll()
    {
        std::lock_guard lock(mutex_);
        jobs_.clear();
    }

    // Makes every waiting job due now and blocks until all have run.
    void flush()
    {
        std::unique_lock lock(mutex_);
        const auto now = Clock::now();
        for (Job &j : jobs_)
            j.due = std::min(j.due, now);
        ++flushing_;
        wake_.notify_all();
        idle_.wait(lock, [&] { return jobs_.empty() && !running_; });
        --flushing_;
    }

    // Blocks until nothing is due and nothing runs.
    void waitUntilIdle()
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] {
            if (running_)
                return false;
            const auto now = Clock::now();
            return std::none_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.due <= now; });
        });
    }

private:
    struct Job
    {
        quint64 sequence;
        QString key;
        Clock::time_point due;
        std::function<bool()> work;
    };

    void run()
    {
        pthread_setname_np(pthread_self(), "kesso.store.io");
        // A background utility: below the interface and the audio.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 5);
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stopping_ && jobs_.empty())
                return;
            auto next = std::min_element(jobs_.begin(), jobs_.end(), [](const Job &a, const Job &b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
            if (next == jobs_.end()) {
                idle_.notify_all();
                wake_.wait(lock);
                continue;
            }
            if (next->due > Clock::now()) {
                idle_.notify_all();
                wake_.wait_until(lock, next->due);
                continue;
            }
            Job job = std::move(*next);
            jobs_.erase(next);
            running_ = true;
            lock.unlock();
            const bool done = job.work();
            lock.lock();
            running_ = false;
            if (!job.key.isEmpty())
                noteOutcome(job, done);
            job.work = nullptr; // release the copied list here, off the main thread
            idle_.notify_all();
        }
    }

    // Called with the lock held.
    void noteOutcome(Job &job, bool done)
    {
        if (done) {
            failing_.remove(job.key);
            return;
        }
        if (!failing_.contains(job.key)) {
            failing_.insert(job.key);
            Log::write(QStringLiteral("stockage: %1 non écrit, nouvel essai plus tard").arg(job.key));
        }
        const bool replaced = std::any_of(jobs_.begin(), jobs_.end(), [&](const Job &j) { return j.key == job.key; });
        if (replaced || flushing_ || stopping_)
            return;
        job.due = Clock::now() + kRetryDelay;
        job.sequence = ++sequence_;
        jobs_.push_back(std::move(job));
    }

    static constexpr auto kRetryDelay = std::chrono::seconds(10);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<Job> jobs_;
    QSet<QString> failing_;
    int flushing_ = 0;
    quint64 sequence_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the fields above exist
};

namespace {

constexpr auto kSaveDelay = std::chrono::milliseconds(400);
constexpr qint64 kAudioKeptSeconds = 2592000; // 30 days

const char *const kHistory = "history.json";
const char *const kWords = "words.json";
const char *const kCorrections = "corrections.json";
const char *const kFixes = "fixes.json";
const char *const kSnippets = "snippets.json";
const char *const kCosts = "costs.json";
const char *const kMeetings = "meetings.json";

// The recordings written while they are made (see MeetingSpool).
const char *const kMeetingSpool = "reunion-en-cours.wav";
const char *const kDictationSpoolPrefix = "dictee-en-cours-";

QString name(const char *file)
{
    return QString::fromLatin1(file);
}

const char *fileOf(Store::Collection collection)
{
    switch (collection) {
    case Store::Collection::History: return kHistory;
    case Store::Collection::Words: return kWords;
    case Store::Collection::Corrections: return kCorrections;
    case Store::Collection::Fixes: return kFixes;
    case Store::Collection::Snippets: return kSnippets;
    case Store::Collection::Costs: return kCosts;
    case Store::Collection::Meetings: return kMeetings;
    }
    return kHistory;
}

QByteArray encode(const QList<Dictation> &l) { return Records::encodeArray(l); }
QByteArray encode(const QStringList &l) { return Records::encodeArray(l); }
QByteArray encode(const QList<Correction> &l) { return Records::encodeArray(l); }
QByteArray encode(const QList<CorrectionRecord> &l) { return Records::encodeArray(l); }
QByteArray encode(const QList<Snippet> &l) { return Records::encodeArray(l); }
QByteArray encode(const QList<CostEntry> &l) { return Records::encodeArray(l); }
QByteArray encode(const QList<Meeting> &l) { return Records::encodeArray(l); }

// Owner-only: the files hold what the user said.
bool writeAtomically(const QString &path, const QByteArray &data)
{
    PrivateFiles::makeFolder(QFileInfo(path).absolutePath());
    return PrivateFiles::write(path, data);
}

// The local calendar day of instants, with the zone's offset looked up once per UTC
// day (exact unless the offset changes twice within one UTC day).
class LocalDays
{
public:
    QDate dayOf(const QDateTime &date)
    {
        if (!date.isValid())
            return {};
        const qint64 secs = date.toSecsSinceEpoch();
        const qint64 utcDay = floorDiv(secs, 86400);
        auto it = offsets_.constFind(utcDay);
        if (it == offsets_.constEnd()) {
            const int first = QDateTime::fromSecsSinceEpoch(utcDay * 86400, Qt::LocalTime).offsetFromUtc();
            const int last = QDateTime::fromSecsSinceEpoch(utcDay * 86400 + 86399, Qt::LocalTime).offsetFromUtc();
            it = offsets_.insert(utcDay, first == last ? std::optional<int>(first) : std::nullopt);
        }
        if (!*it)
            return date.toLocalTime().date();
        return QDate::fromJulianDay(floorDiv(secs + **it, 86400) + 2440588); // 1970-01-01
    }

private:
    static qint64 floorDiv(qint64 a, qint64 b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
    QHash<qint64, std::optional<int>> offsets_;
};

bool isRemovableByErase(const QString &fileName)
{
    static const QStringList files = {
        name(kHistory),  name(kWords), name(kCorrections),         name(kFixes),
        name(kSnippets), name(kCosts), name(kMeetings), QStringLiteral("keys.json"), QStringLiteral("journal.log"),
    };
    return files.contains(fileName);
}

// Every file the program writes in the data folder (and those set aside), and the
// recordings, made owner-only; other files are left as they are.
void tightenDataFolder(const QString &dir)
{
    PrivateFiles::tighten(dir);
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &f : entries)
        if (isRemovableByErase(f.section(QStringLiteral(".illisible-"), 0, 0)) || Store::isSpoolName(f))
            PrivateFiles::tighten(dir + QLatin1Char('/') + f);
    const QString audio = dir + QStringLiteral("/Audio");
    PrivateFiles::tighten(audio);
    const QStringList recordings = QDir(audio).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &f : recordings)
        PrivateFiles::tighten(audio + QLatin1Char('/') + f);
}

} // namespace

// --- folders

QString Store::folder()
{
    static const QString path = [] {
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const QString dir = base + QStringLiteral("/Ombry Voice");
        IdentityMigration::moveDataFolder(dir);
        PrivateFiles::makeFolder(dir);
        return dir;
    }();
    return path;
}

QString Store::audioFolder()
{
    static const QString path = folder() + QStringLiteral("/Audio");
    // Erasing removes it; a recording written later in the run needs it again.
    if (!QFileInfo::exists(path))
        PrivateFiles::makeFolder(path);
    return path;
}

QString Store::audioDir() const
{
    const QString path = folder_ + QStringLiteral("/Audio");
    if (!QFileInfo::exists(path))
        PrivateFiles::makeFolder(path);
    return path;
}

namespace {

bool writeRecordingFile(const QString &dir, const QString &fileName, const QByteArray &wav)
{
    const bool ok = writeAtomically(dir + QLatin1Char('/') + fileName, wav);
    if (!ok)
        Log::write(QStringLiteral("stockage: enregistrement %1 non écrit").arg(fileName));
    return ok;
}

} // namespace

bool Store::writeRecording(const QString &fileName, const QByteArray &wav)
{
    if (!Records::isPlainFileName(fileName))
        return false;
    return writeRecordingFile(audioDir(), fileName, wav);
}

void Store::saveRecording(const QString &fileName, const QByteArray &wav)
{
    if (!Records::isPlainFileName(fileName))
        return;
    // The folder is made there too: an erase running before this job removes it.
    const QString dir = folder_ + QStringLiteral("/Audio");
    io_->post([dir, fileName, wav] { writeRecordingFile(dir, fileName, wav); });
}

// --- creation and loading

namespace {
}

Store::Store(const QString &folder, QObject *parent)
    : QObject(parent)
    , folder_(folder)
    , io_(std::make_unique<StoreIo>())
{
    PrivateFiles::makeFolder(folder_);
    PrivateFiles::makeFolder(audioDir());
    // Files written by earlier versions may be readable by others.
    io_->post([dir = folder_] { tightenDataFolder(dir); });
    dictations_ = load<Dictation>(name(kHistory));
    rebuildStats();
    words_ = load<QString>(name(kWords));
    corrections_ = load<Correction>(name(kCorrections));
    rebuildCorrectionCache();
    fixes_ = load<CorrectionRecord>(name(kFixes));
    snippets_ = load<Snippet>(name(kSnippets));
    rebuildSnippetCache();
    costs_ = load<CostEntry>(name(kCosts));
    meetings_ = load<Meeting>(name(kMeetings));
}

Store::~Store() = default; // StoreIo's destructor writes what is scheduled

template<typename T>
QList<T> Store::load(const QString &fileName)
{
    const QString path = folder_ + QLatin1Char('/') + fileName;
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        setAside(fileName, QStringLiteral("illisible"));
        return {};
    }
    const QByteArray data = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        setAside(fileName, QStringLiteral("illisible"));
        return {};
    }
    auto list = Records::decodeArray<T>(data);
    if (!list) {
        setAside(fileName, QStringLiteral("non décodable"));
        return {};
    }
    return std::move(*list);
}

QString Store::setAsideName(Collection collection) const
{
    return setAside_.value(name(fileOf(collection)));
}

bool Store::wasSetAside(Collection collection) const
{
    return setAside_.contains(name(fileOf(collection)));
}

bool Store::isSpoolName(const QString &fileName)
{
    return fileName == QLatin1String(kMeetingSpool)
           || (fileName.startsWith(QLatin1String(kDictationSpoolPrefix)) && fileName.endsWith(QLatin1String(".wav")));
}

void Store::setAside(const QString &fileName, const QString &why)
{
    const QString path = folder_ + QLatin1Char('/') + fileName;
    const QString target = PrivateFiles::setAsideName(path);
    if (QFile::rename(path, target)) {
        setAside_.insert(fileName, QFileInfo(target).fileName());
        Log::write(QStringLiteral("stockage: %1 %2, mis de côté sous %3")
                       .arg(fileName, why, QFileInfo(target).fileName()));
    } else {
        setAside_.insert(fileName, QString());
        // Keep the user's bytes rather than the empty list that replaced them.
        held_.insert(fileName);
        Log::write(QStringLiteral("stockage: %1 %2 et impossible à mettre de côté, il ne sera pas réécrit")
                       .arg(fileName, why));
    }
}

// --- saving

template<typename List>
void Store::save(const List &list, const QString &fileName)
{
    if (held_.contains(fileName))
        return;
    const QString path = folder_ + QLatin1Char('/') + fileName;
    QPointer<Store> self(this);
    // The copy is shared with the main thread's list until one side changes it.
    io_->schedule(fileName, kSaveDelay, [list, path, fileName, self] {
        if (!writeAtomically(path, encode(list)))
            return false; // the previous content stays; tried again later
        if (self)
            QMetaObject::invokeMethod(self.data(), [self, fileName] {
                if (self)
                    Q_EMIT self->fileWritten(fileName);
            }, Qt::QueuedConnection);
        return true;
    });
}

void Store::saveCollection(Collection collection)
{
    switch (collection) {
    case Collection::History: save(dictations_, name(kHistory)); break;
    case Collection::Words: save(words_, name(kWords)); break;
    case Collection::Corrections: save(corrections_, name(kCorrections)); break;
    case Collection::Fixes: save(fixes_, name(kFixes)); break;
    case Collection::Snippets: save(snippets_, name(kSnippets)); break;
    case Collection::Costs: save(costs_, name(kCosts)); break;
    case Collection::Meetings: save(meetings_, name(kMeetings)); break;
    }
}

void Store::deleteRecordings(const QStringList &files)
{
    const QString audio = folder_ + QStringLiteral("/Audio/");
    io_->post([audio, files] {
        for (const QString &f : files)
            QFile::remove(audio + f);
    });
}

void Store::flush()
{
    io_->flush();
}

void Store::waitForIo()
{
    io_->waitUntilIdle();
}

// --- collections

void Store::setDictations(const QList<Dictation> &list)
{
    const bool changed = list != dictations_;
    dictations_ = list;
    save(dictations_, name(kHistory));
    rebuildStats();
    if (changed) {
        Q_EMIT collectionReset(Collection::History);
        Q_EMIT dictationsChanged();
    }
}

void Store::setWords(const QStringList &list)
{
    const bool changed = list != words_;
    words_ = list;
    save(words_, name(kWords));
    if (changed) {
        Q_EMIT collectionReset(Collection::Words);
        Q_EMIT wordsChanged();
    }
}

void Store::setCorrections(const QList<Correction> &list)
{
    const bool changed = list != corrections_;
    corrections_ = list;
    rebuildCorrectionCache();
    save(corrections_, name(kCorrections));
    if (changed) {
        Q_EMIT collectionReset(Collection::Corrections);
        Q_EMIT correctionsChanged();
    }
}

void Store::setFixes(const QList<CorrectionRecord> &list)
{
    const bool changed = list != fixes_;
    fixes_ = list;
    save(fixes_, name(kFixes));
    if (changed) {
        Q_EMIT collectionReset(Collection::Fixes);
        Q_EMIT fixesChanged();
    }
}

void Store::setSnippets(const QList<Snippet> &list)
{
    const bool changed = list != snippets_;
    snippets_ = list;
    rebuildSnippetCache();
    save(snippets_, name(kSnippets));
    if (changed) {
        Q_EMIT collectionReset(Collection::Snippets);
        Q_EMIT snippetsChanged();
    }
}

void Store::setCosts(const QList<CostEntry> &list)
{
    const bool changed = list != costs_;
    costs_ = list;
    save(costs_, name(kCosts));
    if (changed) {
        Q_EMIT collectionReset(Collection::Costs);
        Q_EMIT costsChanged();
    }
}

void Store::setMeetings(const QList<Meeting> &list)
{
    const bool changed = list != meetings_;
    meetings_ = list;
    save(meetings_, name(kMeetings));
    if (changed) {
        Q_EMIT collectionReset(Collection::Meetings);
        Q_EMIT meetingsChanged();
    }
}

// --- operations

void Store::add(const Dictation &dictation)
{
    dictations_.prepend(dictation);
    save(dictations_, name(kHistory));
    // The statistics of one more dictation, without a walk over the whole history;
    // a kept recording counts once it has its text.
    if (dictation.untranscribed()) {
        Q_EMIT itemInserted(Collection::History, 0);
        Q_EMIT dictationsChanged();
        return;
    }
    ++transcribedCount_;
    const qint64 n = TextUtil::wordCount(dictation.finalText);
    totalWords_ += n;
    totalDuration_ += dictation.duration;
    wordsByDay_[LocalDays().dayOf(dictation.date)] += n;
    if (n)
        Q_EMIT totalWordsChanged();
    if (dictation.duration != 0)
        Q_EMIT totalDurationChanged();
    Q_EMIT statisticsChanged();
    Q_EMIT itemInserted(Collection::History, 0);
    Q_EMIT dictationsChanged();
}

void Store::addFix(const CorrectionRecord &record)
{
    fixes_.prepend(record);
    save(fixes_, name(kFixes));
    Q_EMIT itemInserted(Collection::Fixes, 0);
    Q_EMIT fixesChanged();
}

void Store::addCost(double amount)
{
    costs_.append(CostEntry{QDateTime::currentDateTimeUtc(), amount});
    save(costs_, name(kCosts));
    Q_EMIT itemInserted(Collection::Costs, int(costs_.size() - 1));
    Q_EMIT costsChanged();
}

void Store::rebuildCorrectionCache()
{
    compiled_.clear();
    compiled_.reserve(corrections_.size());
    for (const Correction &c : corrections_) {
        if (TextUtil::trimmedBlanks(c.heard).isEmpty())
            continue;
        QRegularExpression expression(QStringLiteral("(?<![\\p{L}\\p{N}])") + QRegularExpression::escape(c.heard)
                                          + QStringLiteral("(?![\\p{L}\\p{N}])"),
                                      QRegularExpression::CaseInsensitiveOption);
        if (!expression.isValid())
            continue;
        expression.optimize();
        compiled_.push_back({std::move(expression), c.written});
    }
}

QString Store::applyCorrections(const QString &text) const
{
    QString current = text;
    for (const CompiledCorrection &c : compiled_) {
        QRegularExpressionMatchIterator it = c.expression.globalMatch(current);
        if (!it.hasNext())
            continue;
        // Built by hand: QString::replace would read "\1" in the written text as a back-reference.
        QString out;
        out.reserve(current.size() + c.written.size());
        qsizetype last = 0;
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            out.append(QStringView(current).mid(last, m.capturedStart() - last));
            out.append(c.written);
            last = m.capturedEnd();
        }
        out.append(QStringView(current).mid(last));
        current = std::move(out);
    }
    return current;
}

QString Store::snippetKey(const QString &text)
{
    const QString folded = text.toLower().normalized(QString::NormalizationForm_D);
    QString kept;
    kept.reserve(folded.size());
    for (const char32_t c : folded.toUcs4()) {
        if (QChar::category(c) == QChar::Mark_NonSpacing)
            continue; // the diacritics of the decomposed letters
        if (c == U' ' || QChar::isLetter(c) || QChar::isNumber(c))
            kept.append(QString::fromUcs4(&c, 1));
    }
    kept = kept.normalized(QString::NormalizationForm_C);
    qsizetype begin = 0;
    qsizetype end = kept.size();
    while (begin < end && kept.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && kept.at(end - 1) == QLatin1Char(' '))
        --end;
    return kept.mid(begin, end - begin);
}

void Store::rebuildSnippetCache()
{
    snippetKeys_.clear();
    snippetKeys_.reserve(snippets_.size());
    for (const Snippet &s : snippets_)
        snippetKeys_.push_back(s.trigger.isEmpty() ? QString() : snippetKey(s.trigger));
}

std::optional<Snippet> Store::snippet(const QString &matching) const
{
    const QString key = snippetKey(matching);
    if (key.isEmpty())
        return std::nullopt;
    for (size_t i = 0; i < snippetKeys_.size(); ++i)
        if (!snippetKeys_[i].isEmpty() && snippetKeys_[i] == key)
            return snippets_.at(qsizetype(i));
    return std::nullopt;
}

QUrl Store::audioURL(const Dictation &dictation) const
{
    if (!dictation.audioFile || !Records::isPlainFileName(*dictation.audioFile))
        return {};
    const QString path = folder_ + QStringLiteral("/Audio/") + *dictation.audioFile;
    if (!QFileInfo(path).isFile())
        return {};
    return QUrl::fromLocalFile(path);
}

void Store::pruneAudio()
{
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-kAudioKeptSeconds);
    QSet<QUuid> selected;
    QStringList files;
    for (const Dictation &d : std::as_const(dictations_)) {
        if (d.audioFile && d.date.isValid() && d.date < cutoff) {
            selected.insert(d.id);
            // A name that is no plain file name points outside the folder: only forgotten.
            if (Records::isPlainFileName(*d.audioFile))
                files.append(*d.audioFile);
        }
    }
    if (selected.isEmpty())
        return;
    const QString audio = folder_ + QStringLiteral("/Audio/");
    io_->post([audio, files] {
        for (const QString &f : files)
            QFile::remove(audio + f);
    });
    QList<Dictation> updated = dictations_;
    for (Dictation &d : updated)
        if (selected.contains(d.id))
            d.audioFile.reset();
    setDictations(updated);
}

void Store::clearHistory()
{
    setFixes({});
    const QString audio = folder_ + QStringLiteral("/Audio/");
    for (const Dictation &d : std::as_const(dictations_))
        if (d.audioFile && Records::isPlainFileName(*d.audioFile))
            QFile::remove(audio + *d.audioFile);
    setDictations({});
}

void Store::eraseEverything()
{
    io_->cancelAll();
    held_.clear();
    ++erasures_;

    dictations_.clear();
    rebuildStats();
    Q_EMIT collectionReset(Collection::History);
    Q_EMIT dictationsChanged();
    words_.clear();
    Q_EMIT collectionReset(Collection::Words);
    Q_EMIT wordsChanged();
    corrections_.clear();
    rebuildCorrectionCache();
    Q_EMIT collectionReset(Collection::Corrections);
    Q_EMIT correctionsChanged();
    fixes_.clear();
    Q_EMIT collectionReset(Collection::Fixes);
    Q_EMIT fixesChanged();
    snippets_.clear();
    rebuildSnippetCache();
    Q_EMIT collectionReset(Collection::Snippets);
    Q_EMIT snippetsChanged();
    costs_.clear();
    Q_EMIT collectionReset(Collection::Costs);
    Q_EMIT costsChanged();
    meetings_.clear();
    Q_EMIT collectionReset(Collection::Meetings);
    Q_EMIT meetingsChanged();

    const QString dir = folder_;
    io_->post([dir] {
        QDir(dir + QStringLiteral("/Audio")).removeRecursively();
        for (const char *f : {kHistory, kWords, kCorrections, kFixes, kSnippets, kCosts, kMeetings})
            QFile::remove(dir + QLatin1Char('/') + name(f));
        QFile::remove(dir + QStringLiteral("/keys.json"));
        QFile::remove(dir + QStringLiteral("/journal.log"));
        // Recordings under way, or left by an interrupted run, are the user's words too.
        const QStringList files = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &f : files)
            if (Store::isSpoolName(f))
                QFile::remove(dir + QLatin1Char('/') + f);
        // Files set aside after a failed load hold the user's data too.
        const QStringList aside = QDir(dir).entryList({QStringLiteral("*.illisible-*")}, QDir::Files | QDir::Hidden);
        for (const QString &f : aside) {
            const QString original = f.section(QStringLiteral(".illisible-"), 0, 0);
            if (isRemovableByErase(original))
                QFile::remove(dir + QLatin1Char('/') + f);
        }
    });
    // Wait for the removals (behind a write already running): a recording or a key
    // saved right after the erase must not be removed with the erased data.
    io_->waitUntilIdle();
    Q_EMIT erased();
}

// --- statistics

void Store::rebuildStats()
{
    qint64 words = 0;
    double duration = 0;
    QHash<QDate, qint64> byDay;
    LocalDays days;
    qint64 transcribed = 0;
    for (const Dictation &d : std::as_const(dictations_)) {
        // A kept recording counts once it has its text.
        if (d.untranscribed())
            continue;
        const qint64 n = TextUtil::wordCount(d.finalText);
        words += n;
        duration += d.duration;
        byDay[days.dayOf(d.date)] += n;
        ++transcribed;
    }
    const bool countChanged = transcribed != transcribedCount_;
    transcribedCount_ = transcribed;
    const bool wordsChanged = words != totalWords_;
    const bool durationChanged = duration != totalDuration_;
    const bool daysChanged = byDay != wordsByDay_;
    totalWords_ = words;
    totalDuration_ = duration;
    wordsByDay_ = std::move(byDay);
    if (wordsChanged)
        Q_EMIT totalWordsChanged();
    if (durationChanged)
        Q_EMIT totalDurationChanged();
    if (wordsChanged || durationChanged || daysChanged || countChanged)
        Q_EMIT statisticsChanged();
}

qint64 Store::wordsOn(QDate day) const
{
    return wordsByDay_.value(day, 0);
}

qint64 Store::averageWPM() const
{
    if (!(totalDuration_ > 0))
        return 0;
    const double wpm = double(totalWords_) / (totalDuration_ / 60.0);
    if (!std::isfinite(wpm) || wpm >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    return std::llround(wpm);
}

double Store::minutesSaved(qint64 typingWPM) const
{
    if (typingWPM < 1)
        return 0;
    const double saved = double(totalWords_) / double(typingWPM) - totalDuration_ / 60.0;
    return saved < 0 ? 0 : saved;
}

QList<DayWords> Store::lastDays(qint64 n) const
{
    QList<DayWords> out;
    if (n <= 0)
        return out;
    const QDate today = QDate::currentDate();
    out.reserve(qsizetype(std::min<qint64>(n, 100000)));
    for (qint64 k = -(n - 1); k <= 0; ++k) {
        const QDate day = today.addDays(k);
        if (!day.isValid())
            continue;
        out.append(DayWords{day, wordsOn(day)});
    }
    return out;
}

QList<AppShare> Store::appShares() const
{
    QList<AppShare> out;
    if (totalWords_ < 1)
        return out;
    QHash<QString, qsizetype> index;
    QList<qint64> counts;
    for (const Dictation &d : std::as_const(dictations_)) {
        if (d.untranscribed())
            continue;
        auto it = index.constFind(d.appName);
        qsizetype i;
        if (it == index.constEnd()) {
            i = out.size();
            index.insert(d.appName, i);
            out.append(AppShare{d.appName, d.bundleID, 0});
            counts.append(0);
        } else {
            i = *it;
            if (!out[i].bundleID)
                out[i].bundleID = d.bundleID;
        }
        counts[i] += TextUtil::wordCount(d.finalText);
    }
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i].share = double(counts[i]) / double(totalWords_);
    std::stable_sort(out.begin(), out.end(), [](const AppShare &a, const AppShare &b) { return a.share > b.share; });
    return out;
}

double Store::spentThisMonth() const
{
    const QDate today = QDate::currentDate();
    LocalDays days;
    double sum = 0;
    for (const CostEntry &c : costs_) {
        const QDate day = days.dayOf(c.date);
        if (day.year() == today.year() && day.month() == today.month())
            sum += c.amount;
    }
    return sum;
}
