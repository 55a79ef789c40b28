// Removing the user's data: old recordings, the histories, everything.

#include "model/Store.h"

#include "model/StoreIo.h"
#include "model/Store_p.h"

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
