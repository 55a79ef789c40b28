// The store's one-record operations: what the views' rows edit.

#include "model/Store.h"

#include "model/TextUtil.h"
#include "core/PrivateFiles.h"

#include <QFile>

#include <algorithm>

namespace {

template<typename T>
qsizetype rowOf(const QList<T> &list, const QUuid &id, qsizetype hint)
{
    if (hint >= 0 && hint < list.size() && list.at(hint).id == id)
        return hint;
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list.at(i).id == id)
            return i;
    return -1;
}

} // namespace

// Derived values, save and property signal of a collection after its rows changed.
void Store::itemsChanged(Collection collection)
{
    switch (collection) {
    case Collection::History:
        rebuildStats();
        saveCollection(collection);
        Q_EMIT dictationsChanged();
        break;
    case Collection::Words:
        saveCollection(collection);
        Q_EMIT wordsChanged();
        break;
    case Collection::Corrections:
        rebuildCorrectionCache();
        saveCollection(collection);
        Q_EMIT correctionsChanged();
        break;
    case Collection::Fixes:
        saveCollection(collection);
        Q_EMIT fixesChanged();
        break;
    case Collection::Snippets:
        rebuildSnippetCache();
        saveCollection(collection);
        Q_EMIT snippetsChanged();
        break;
    case Collection::Costs:
        saveCollection(collection);
        Q_EMIT costsChanged();
        break;
    case Collection::Meetings:
        saveCollection(collection);
        Q_EMIT meetingsChanged();
        break;
    }
}

template<typename T>
bool Store::updateItem(QList<T> &list, Collection collection, const T &item, qsizetype row)
{
    const qsizetype at = rowOf(list, item.id, row);
    if (at < 0)
        return false;
    if (list.at(at) == item)
        return true; // nothing to save or tell
    list[at] = item;
    Q_EMIT itemChanged(collection, int(at));
    itemsChanged(collection);
    return true;
}

template<typename T>
QList<T> Store::removeItems(QList<T> &list, Collection collection, const QUuid &id)
{
    QList<T> removed;
    for (qsizetype i = list.size() - 1; i >= 0; --i) {
        if (list.at(i).id != id)
            continue;
        removed.prepend(list.takeAt(i));
        Q_EMIT itemRemoved(collection, int(i));
    }
    if (!removed.isEmpty())
        itemsChanged(collection);
    return removed;
}

bool Store::updateDictation(const Dictation &dictation, qsizetype row)
{
    return updateItem(dictations_, Collection::History, dictation, row);
}

bool Store::removeDictation(const QUuid &id)
{
    const QList<Dictation> removed = removeItems(dictations_, Collection::History, id);
    QStringList files;
    for (const Dictation &d : removed) {
        if (!d.audioFile || !Records::isPlainFileName(*d.audioFile) || files.contains(*d.audioFile))
            continue;
        const bool stillNamed = std::any_of(dictations_.cbegin(), dictations_.cend(),
                                            [&](const Dictation &kept) { return kept.audioFile == d.audioFile; });
        if (!stillNamed)
            files.append(*d.audioFile);
    }
    if (!files.isEmpty())
        deleteRecordings(files);
    return !removed.isEmpty();
}

bool Store::updateFix(const CorrectionRecord &record, qsizetype row)
{
    return updateItem(fixes_, Collection::Fixes, record, row);
}

bool Store::removeFix(const QUuid &id)
{
    return !removeItems(fixes_, Collection::Fixes, id).isEmpty();
}

bool Store::addWord(const QString &word)
{
    const QString trimmed = TextUtil::trimmedSpaces(word);
    if (trimmed.isEmpty() || words_.contains(trimmed))
        return false;
    words_.append(trimmed);
    Q_EMIT itemInserted(Collection::Words, int(words_.size() - 1));
    itemsChanged(Collection::Words);
    return true;
}

qsizetype Store::removeWord(const QString &word)
{
    qsizetype removed = 0;
    for (qsizetype i = words_.size() - 1; i >= 0; --i) {
        if (words_.at(i) != word)
            continue;
        words_.removeAt(i);
        ++removed;
        Q_EMIT itemRemoved(Collection::Words, int(i));
    }
    if (removed)
        itemsChanged(Collection::Words);
    return removed;
}

void Store::addSnippet(const Snippet &snippet)
{
    snippets_.append(snippet);
    Q_EMIT itemInserted(Collection::Snippets, int(snippets_.size() - 1));
    itemsChanged(Collection::Snippets);
}

bool Store::updateSnippet(const Snippet &snippet, qsizetype row)
{
    return updateItem(snippets_, Collection::Snippets, snippet, row);
}

bool Store::removeSnippet(const QUuid &id)
{
    return !removeItems(snippets_, Collection::Snippets, id).isEmpty();
}

void Store::addCorrection(const Correction &correction)
{
    corrections_.append(correction);
    Q_EMIT itemInserted(Collection::Corrections, int(corrections_.size() - 1));
    itemsChanged(Collection::Corrections);
}

bool Store::updateCorrection(const Correction &correction, qsizetype row)
{
    return updateItem(corrections_, Collection::Corrections, correction, row);
}

bool Store::removeCorrection(const QUuid &id)
{
    return !removeItems(corrections_, Collection::Corrections, id).isEmpty();
}

void Store::addMeeting(const Meeting &meeting)
{
    meetings_.prepend(meeting);
    Q_EMIT itemInserted(Collection::Meetings, 0);
    itemsChanged(Collection::Meetings);
}

bool Store::updateMeeting(const Meeting &meeting, qsizetype row)
{
    return updateItem(meetings_, Collection::Meetings, meeting, row);
}

bool Store::removeMeeting(const QUuid &id)
{
    if (removeItems(meetings_, Collection::Meetings, id).isEmpty())
        return false;
    // A meeting that could not be transcribed keeps its recording beside the
    // dictations' ones; it goes with its card.
    PrivateFiles::removeOwned(folder_, QStringLiteral("Audio/reunion-") + id.toString(QUuid::WithoutBraces).toUpper()
                                           + QStringLiteral(".wav"));
    return true;
}
