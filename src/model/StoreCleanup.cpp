// Removing the user's data: old recordings, the histories, everything.

#include "model/Store.h"

#include "model/StoreIo.h"
#include "model/Store_p.h"
#include "core/PrivateFiles.h"

#include <QDir>
#include <QFile>

using namespace StoreDetail;

namespace {

constexpr qint64 kAudioKeptSeconds = 2592000; // 30 days

} // namespace

void Store::pruneAudio()
{
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-kAudioKeptSeconds);
    QSet<QUuid> selected;
    QStringList files;
    for (const Dictation &d : std::as_const(dictations_)) {
        // A recording no engine has turned into text is all there is of it.
        if (d.audioFile && d.date.isValid() && d.date < cutoff && Records::hasText(d)) {
            selected.insert(d.id);
            // A name that is no plain file name points outside the folder: only forgotten.
            if (Records::isPlainFileName(*d.audioFile))
                files.append(*d.audioFile);
        }
    }
    if (selected.isEmpty())
        return;
    deleteRecordings(files);
    QList<Dictation> updated = dictations_;
    for (Dictation &d : updated)
        if (selected.contains(d.id))
            d.audioFile.reset();
    setDictations(updated);
}

void Store::clearHistory()
{
    setFixes({});
    for (const Dictation &d : std::as_const(dictations_))
        if (d.audioFile && Records::isPlainFileName(*d.audioFile))
            PrivateFiles::removeOwned(folder_, QStringLiteral("Audio/") + *d.audioFile);
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

    // Only the program's own files, reached without following a link: a link in
    // the folder, or "Audio" made one, leads nowhere outside it.
    io_->post([dir = folder_] {
        PrivateFiles::removeOwnedFolder(dir, QStringLiteral("Audio"));
        for (const char *f : {kHistory, kWords, kCorrections, kFixes, kSnippets, kCosts, kMeetings})
            PrivateFiles::removeOwned(dir, name(f));
        PrivateFiles::removeOwned(dir, QStringLiteral("keys.json"));
        PrivateFiles::removeOwned(dir, QStringLiteral("journal.log"));
        // Recordings under way or left by an interrupted run, files set aside after a
        // failed load, temporary files of a cut write: the user's words too.
        for (const QString &f : PrivateFiles::ownedFiles(dir))
            if (isProgramFile(f))
                PrivateFiles::removeOwned(dir, f);
    });
    // Wait for the removals (behind a write already running): a recording or a key
    // saved right after the erase must not be removed with the erased data.
    io_->waitUntilIdle();
    if (!writeProblem_.isEmpty() && io_->failing().isEmpty()) {
        writeProblem_.clear();
        Q_EMIT writeProblemChanged();
    }
    Q_EMIT erased();
}
