#include "model/Store.h"

#include "model/IdentityMigration.h"
#include "model/StoreIo.h"
#include "model/Store_p.h"
#include "core/Log.h"
#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <chrono>
#include <cerrno>

using namespace StoreDetail;

namespace {

constexpr auto kSaveDelay = std::chrono::milliseconds(400);

// The recordings written while they are made (see MeetingSpool).
const char *const kMeetingSpool = "reunion-en-cours.wav";
const char *const kDictationSpoolPrefix = "dictee-en-cours-";

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

// Owner-only: the files hold what the user said. 0 or the errno of the failure.
int writeAtomically(const QString &path, const QByteArray &data)
{
    PrivateFiles::makeFolder(QFileInfo(path).absolutePath());
    int error = 0;
    return PrivateFiles::write(path, data, &error) ? 0 : error;
}

} // namespace

bool StoreDetail::isRemovableByErase(const QString &fileName)
{
    static const QStringList files = {
        name(kHistory),  name(kWords), name(kCorrections),         name(kFixes),
        name(kSnippets), name(kCosts), name(kMeetings), QStringLiteral("keys.json"), QStringLiteral("journal.log"),
    };
    return files.contains(fileName);
}

bool StoreDetail::isProgramFile(const QString &fileName)
{
    if (isRemovableByErase(fileName) || Store::isSpoolName(fileName))
        return true;
    // Set aside after a failed load, or left by a write that was cut.
    const QString aside = fileName.section(QStringLiteral(".illisible-"), 0, 0);
    if (aside != fileName)
        return isRemovableByErase(aside);
    const QString target = PrivateFiles::temporaryTarget(fileName);
    return !target.isEmpty() && (isRemovableByErase(target) || Store::isSpoolName(target));
}

namespace {

// Every file the program writes in the data folder (and those set aside), and the
// recordings, made owner-only; other files are left as they are, and nothing is
// reached through a link.
void tightenDataFolder(const QString &dir)
{
    PrivateFiles::tightenOwned(dir, QString());
    for (const QString &f : PrivateFiles::ownedFiles(dir))
        if (isProgramFile(f))
            PrivateFiles::tightenOwned(dir, f);
    const QString audio = QStringLiteral("Audio");
    PrivateFiles::tightenOwned(dir, audio);
    for (const QString &f : PrivateFiles::ownedFiles(dir, audio))
        PrivateFiles::tightenOwned(dir, audio + QLatin1Char('/') + f);
}

// A temporary file left by a write that was cut (a crash, a kill) is incomplete and
// holds the user's words: it goes before anything is written in this run.
void removeCutWrites(const QString &dir)
{
    for (const QString &f : PrivateFiles::ownedFiles(dir))
        if (!PrivateFiles::temporaryTarget(f).isEmpty() && isProgramFile(f))
            PrivateFiles::removeOwned(dir, f);
    for (const QString &f : PrivateFiles::ownedFiles(dir, QStringLiteral("Audio")))
        if (!PrivateFiles::temporaryTarget(f).isEmpty())
            PrivateFiles::removeOwned(dir, QStringLiteral("Audio/") + f);
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
    static const QString root = folder();
    // Erasing removes it; a recording written later in the run needs it again.
    PrivateFiles::ensureOwnFolder(root, QStringLiteral("Audio"));
    return root + QStringLiteral("/Audio");
}

QString Store::audioDir() const
{
    PrivateFiles::ensureOwnFolder(folder_, QStringLiteral("Audio"));
    return folder_ + QStringLiteral("/Audio");
}

namespace {

// 0 or the errno. The folder is made here too: an erase running before removes it,
// and a link in its place is never written through.
int writeRecordingFile(const QString &root, const QString &fileName, const QByteArray &wav)
{
    if (!PrivateFiles::ensureOwnFolder(root, QStringLiteral("Audio"))) {
        const int fault = PrivateFiles::writeFault();
        return fault ? fault : EACCES;
    }
    return writeAtomically(root + QStringLiteral("/Audio/") + fileName, wav);
}

} // namespace

bool Store::writeRecording(const QString &fileName, const QByteArray &wav)
{
    if (!Records::isPlainFileName(fileName))
        return false;
    const int error = writeRecordingFile(folder_, fileName, wav);
    if (error)
        Log::write(QStringLiteral("stockage: enregistrement %1 non écrit (%2)").arg(fileName, problemText(error)));
    return error == 0;
}

void Store::saveRecording(const QString &fileName, const QByteArray &wav)
{
    if (!Records::isPlainFileName(fileName))
        return;
    QPointer<Store> self(this);
    io_->schedule(QStringLiteral("Audio/") + fileName, std::chrono::milliseconds(0), [root = folder_, fileName, wav, self] {
        const int error = writeRecordingFile(root, fileName, wav);
        if (!error && self)
            QMetaObject::invokeMethod(self.data(), [self, fileName] {
                if (self)
                    Q_EMIT self->recordingWritten(fileName);
            }, Qt::QueuedConnection);
        return error;
    });
}

bool Store::hasRecording(const QString &fileName) const
{
    return Records::isPlainFileName(fileName) && PrivateFiles::isOwned(folder_, QStringLiteral("Audio/") + fileName);
}

std::optional<QByteArray> Store::readRecording(const Dictation &dictation, qint64 maxBytes) const
{
    if (!dictation.audioFile || !Records::isPlainFileName(*dictation.audioFile))
        return std::nullopt;
    return PrivateFiles::readOwned(folder_, QStringLiteral("Audio/") + *dictation.audioFile, maxBytes);
}

QString Store::problemText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("Impossible d'enregistrer : disque plein");
    case EROFS:
    case EACCES:
    case EPERM:
        return QStringLiteral("Impossible d'enregistrer : dossier en lecture seule");
    default:
        return QStringLiteral("Impossible d'enregistrer : dossier inaccessible");
    }
}

bool Store::isSettled(const QString &key) const
{
    // A file kept as it was after a failed load is never written this run.
    return !held_.contains(key) && io_->isSettled(key);
}

QStringList Store::unsaved() const
{
    QStringList keys = io_->failing().keys();
    keys.sort();
    return keys;
}

QString Store::unsavedWarning()
{
    flush();
    const QHash<QString, int> failing = io_->failing();
    if (failing.isEmpty())
        return {};
    const qsizetype n = failing.size();
    return problemText(failing.cbegin().value()) + QStringLiteral(". Ce qui n'a pas pu être écrit (")
           + QString::number(n) + (n > 1 ? QStringLiteral(" fichiers") : QStringLiteral(" fichier"))
           + QStringLiteral(") serait perdu en quittant.");
}

void Store::noteWrite(const QString &key, int error, bool firstFailure)
{
    if (firstFailure)
        Log::write(QStringLiteral("stockage: %1 non écrit (%2), gardé en mémoire, nouvel essai plus tard")
                       .arg(key, problemText(error)));
    const QHash<QString, int> failing = io_->failing();
    QString problem;
    if (!failing.isEmpty())
        problem = problemText(error ? error : failing.cbegin().value());
    if (!error && !writeProblem_.isEmpty() && failing.isEmpty())
        Log::write(QStringLiteral("stockage: tout est écrit"));
    if (problem != writeProblem_) {
        writeProblem_ = problem;
        Q_EMIT writeProblemChanged();
    }
    if (firstFailure)
        Q_EMIT writeFailed(problemText(error));
}

// --- creation and loading


Store::Store(const QString &folder, QObject *parent)
    : QObject(parent)
    , folder_(folder)
    , io_(std::make_unique<StoreIo>())
{
    QPointer<Store> self(this);
    io_->onOutcome = [self](const QString &key, int error, bool firstFailure) {
        if (!self)
            return;
        QMetaObject::invokeMethod(self.data(), [self, key, error, firstFailure] {
            if (self)
                self->noteWrite(key, error, firstFailure);
        }, Qt::QueuedConnection);
    };
    PrivateFiles::makeFolder(folder_);
    audioDir();
    removeCutWrites(folder_);
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
    int error = 0;
    const std::optional<QByteArray> data = PrivateFiles::readData(path, &error);
    if (!data) {
        if (error == EINVAL)
            setAside(fileName, QStringLiteral("n'est pas un fichier"));
        else if (error != ENOENT)
            setAside(fileName, QStringLiteral("illisible"));
        return {};
    }
    auto list = Records::decodeArray<T>(*data);
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
        if (const int error = writeAtomically(path, encode(list)))
            return error; // the previous content stays; tried again later
        if (self)
            QMetaObject::invokeMethod(self.data(), [self, fileName] {
                if (self)
                    Q_EMIT self->fileWritten(fileName);
            }, Qt::QueuedConnection);
        return 0;
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
    io_->post([root = folder_, files] {
        for (const QString &f : files)
            PrivateFiles::removeOwned(root, QStringLiteral("Audio/") + f);
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

QUrl Store::audioURL(const Dictation &dictation) const
{
    if (!dictation.audioFile || !hasRecording(*dictation.audioFile))
        return {};
    return QUrl::fromLocalFile(folder_ + QStringLiteral("/Audio/") + *dictation.audioFile);
}
