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

// Owner-only: the files hold what the user said.
bool writeAtomically(const QString &path, const QByteArray &data)
{
    PrivateFiles::makeFolder(QFileInfo(path).absolutePath());
    return PrivateFiles::write(path, data);
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

namespace {

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

QUrl Store::audioURL(const Dictation &dictation) const
{
    if (!dictation.audioFile || !Records::isPlainFileName(*dictation.audioFile))
        return {};
    const QString path = folder_ + QStringLiteral("/Audio/") + *dictation.audioFile;
    if (!QFileInfo(path).isFile())
        return {};
    return QUrl::fromLocalFile(path);
}
