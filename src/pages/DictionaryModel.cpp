#include "pages/DictionaryModel.h"

#include "core/SetOnce.h"
#include "model/StoreModels.h"
#include "model/UnreadableNotice.h"

DictionaryModel::DictionaryModel(QObject *parent) : QObject(parent) {}

DictionaryModel::DictionaryModel(Store *store, QObject *parent) : QObject(parent)
{
    setStore(store);
    started_ = true;
}

Store *DictionaryModel::store() const
{
    return store_;
}

// Made when the store comes, so that the view lays its first rows out with them.
void DictionaryModel::setStore(Store *store)
{
    if (!setOnce(store_, store, started_))
        return;
    words_ = new WordsModel(store_, this);
    snippets_ = new SnippetsModel(store_, this);
    corrections_ = new CorrectionsModel(store_, this);
    Q_EMIT listsChanged();
    Q_EMIT unreadableNoticeChanged();
}

void DictionaryModel::componentComplete()
{
    started_ = true;
}

QString DictionaryModel::unreadableNotice() const
{
    QStringList notices;
    for (const Store::Collection c : {Store::Collection::Words, Store::Collection::Corrections, Store::Collection::Snippets})
        if (const QString n = UnreadableNotice::text(store_, c); !n.isEmpty())
            notices << n;
    return notices.join(QLatin1Char('\n'));
}

QObject *DictionaryModel::words() const
{
    return words_;
}

QObject *DictionaryModel::snippets() const
{
    return snippets_;
}

QObject *DictionaryModel::corrections() const
{
    return corrections_;
}

bool DictionaryModel::addWord(const QString &word)
{
    return words_ && words_->add(word);
}

void DictionaryModel::removeWord(const QString &word)
{
    if (words_)
        words_->remove(word);
}

void DictionaryModel::addSnippet()
{
    if (snippets_)
        snippets_->append();
}

void DictionaryModel::removeSnippet(const QString &id)
{
    if (snippets_)
        snippets_->remove(id);
}

void DictionaryModel::addCorrection()
{
    if (corrections_)
        corrections_->append();
}

void DictionaryModel::removeCorrection(const QString &id)
{
    if (corrections_)
        corrections_->remove(id);
}

bool DictionaryModel::canAdd(const QString &word)
{
    qsizetype start = 0;
    qsizetype end = word.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(word.at(start)))
        ++start;
    while (end > start && blank(word.at(end - 1)))
        --end;
    return end > start;
}
