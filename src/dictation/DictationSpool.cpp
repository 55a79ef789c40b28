#include "dictation/DictationSpool.h"

#include "audio/MeetingSpool.h"
#include "dictation/ProcessingRoad.h"
#include "core/Log.h"
#include "model/Store.h"
#include "core/PrivateFiles.h"

#include <QPointer>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

const QString kPrefix = QStringLiteral("dictee-en-cours-");
constexpr double kShortest = 0.3; // as the controller drops a recording

// Moves the spool (a file of the data folder) into the audio folder under `name`;
// false when it stays. What is replaced or removed is the program's own only.
bool moveInto(Store *store, const QString &spoolName, const QString &name)
{
    const QString root = store->dataFolder();
    const QString target = QDir(store->audioDir()).filePath(name);
    if (!PrivateFiles::isOwned(root, spoolName) || !Records::isPlainFileName(name))
        return false;
    PrivateFiles::removeOwned(root, QStringLiteral("Audio/") + name);
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink())
        return false;
    const QString spool = QDir(root).filePath(spoolName);
    return QFile::rename(spool, target) || (QFile::copy(spool, target) && PrivateFiles::removeOwned(root, spoolName));
}

} // namespace

namespace DictationSpool {

QString path(const Store *store, const QUuid &id)
{
    return QDir(store->dataFolder()).filePath(kPrefix + Road::recordingName(id));
}

void release(Store *store, const QUuid &id)
{
    const QString root = store->dataFolder();
    const QString spool = QFileInfo(path(store, id)).fileName();
    if (!PrivateFiles::isOwned(root, spool))
        return;
    const QList<Dictation> &history = store->dictations();
    const auto entry = std::find_if(history.cbegin(), history.cend(),
                                    [&](const Dictation &d) { return d.id == id && d.audioFile; });
    if (entry == history.cend()) {
        PrivateFiles::removeOwned(root, spool);
        return;
    }
    // The spool is the recording's only copy on disk until both the record that
    // names it and the recording itself are written: a full or read-only disk
    // keeps it for the next run to recover.
    const QString recording = *entry->audioFile;
    struct Wait
    {
        bool history = false;
        QMetaObject::Connection files;
        QMetaObject::Connection recordings;
    };
    auto wait = std::make_shared<Wait>();
    wait->history = store->isSettled(QStringLiteral("history.json"));
    QPointer<Store> guard(store);
    auto settle = [guard, root, spool, recording, wait] {
        if (!guard || !wait->history || !guard->hasRecording(recording))
            return;
        PrivateFiles::removeOwned(root, spool);
        QObject::disconnect(wait->files);
        QObject::disconnect(wait->recordings);
    };
    wait->files = QObject::connect(store, &Store::fileWritten, store, [wait, settle](const QString &written) {
        if (written != QLatin1String("history.json"))
            return;
        wait->history = true;
        settle();
    });
    wait->recordings = QObject::connect(store, &Store::recordingWritten, store, [settle](const QString &) { settle(); });
    settle();
}

int recover(Store *store)
{
    const QString root = store->dataFolder();
    const QDir folder(root);
    int made = 0;
    // Only the program's own files: a link or a FIFO of that name is left alone.
    for (const QString &name : PrivateFiles::ownedFiles(root)) {
        if (!name.startsWith(kPrefix) || !name.endsWith(QLatin1String(".wav")))
            continue;
        const QString file = folder.filePath(name);
        const QUuid id = QUuid::fromString(name.mid(kPrefix.size()).chopped(4));
        if (id.isNull())
            continue;
        const QList<Dictation> &history = store->dictations();
        const auto known = std::find_if(history.cbegin(), history.cend(), [&](const Dictation &d) { return d.id == id; });
        if (known != history.cend()) {
            // Saved before the end came; only a recording that did not make it is taken.
            if (known->audioFile && !store->audioURL(*known).isValid()) {
                MeetingSpool::repair(file);
                moveInto(store, name, *known->audioFile);
            }
            if (!known->audioFile || store->audioURL(*known).isValid())
                PrivateFiles::removeOwned(root, name);
            continue;
        }
        const MeetingSpool::Left left = MeetingSpool::recover(file);
        if (left.seconds <= kShortest) {
            PrivateFiles::removeOwned(root, name);
            continue;
        }
        const QString recording = Road::recordingName(id);
        if (!moveInto(store, name, recording)) {
            Log::write(QStringLiteral("dictée: enregistrement interrompu retrouvé mais impossible à ranger (") + name
                       + QLatin1Char(')'));
            continue;
        }
        store->add(Road::keptEntry(id, left.date, std::nullopt, left.seconds));
        Log::write(QStringLiteral("dictée: enregistrement interrompu retrouvé, %1 s, gardé sous %2")
                       .arg(QString::asprintf("%.2f", left.seconds), recording));
        ++made;
    }
    return made;
}

QString recoveredText(int count)
{
    if (count == 1)
        return QStringLiteral("Une dictée interrompue est gardée dans l'historique");
    return QString::number(count) + QStringLiteral(" dictées interrompues sont gardées dans l'historique");
}

} // namespace DictationSpool
