// The store's collections assigned whole, and the records added at one end.

#include "model/Store.h"

#include "model/Store_p.h"
#include "model/TextUtil.h"

using namespace StoreDetail;

void Store::setDictations(const QList<Dictation> &list)
{
    const bool changed = list != dictations_;
    dictations_ = list;
    saveCollection(Collection::History);
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
    saveCollection(Collection::Words);
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
    saveCollection(Collection::Corrections);
    if (changed) {
        Q_EMIT collectionReset(Collection::Corrections);
        Q_EMIT correctionsChanged();
    }
}

void Store::setFixes(const QList<CorrectionRecord> &list)
{
    const bool changed = list != fixes_;
    fixes_ = list;
    saveCollection(Collection::Fixes);
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
    saveCollection(Collection::Snippets);
    if (changed) {
        Q_EMIT collectionReset(Collection::Snippets);
        Q_EMIT snippetsChanged();
    }
}

void Store::setCosts(const QList<CostEntry> &list)
{
    const bool changed = list != costs_;
    costs_ = list;
    saveCollection(Collection::Costs);
    if (changed) {
        Q_EMIT collectionReset(Collection::Costs);
        Q_EMIT costsChanged();
    }
}

void Store::setMeetings(const QList<Meeting> &list)
{
    const bool changed = list != meetings_;
    meetings_ = list;
    saveCollection(Collection::Meetings);
    if (changed) {
        Q_EMIT collectionReset(Collection::Meetings);
        Q_EMIT meetingsChanged();
    }
}

// --- operations

void Store::add(const Dictation &dictation)
{
    dictations_.prepend(dictation);
    saveCollection(Collection::History);
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
    saveCollection(Collection::Fixes);
    Q_EMIT itemInserted(Collection::Fixes, 0);
    Q_EMIT fixesChanged();
}

void Store::addCost(double amount)
{
    costs_.append(CostEntry{QDateTime::currentDateTimeUtc(), amount});
    saveCollection(Collection::Costs);
    Q_EMIT itemInserted(Collection::Costs, int(costs_.size() - 1));
    Q_EMIT costsChanged();
}
