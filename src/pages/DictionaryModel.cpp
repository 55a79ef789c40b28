#include "pages/DictionaryModel.h"

#include "model/StoreModels.h"
#include "model/UnreadableNotice.h"

DictionaryModel::DictionaryModel(QObject *parent)
    : QObject(parent), words_(new WordsModel(this)), snippets_(new SnippetsModel(this)),
      corrections_(new CorrectionsModel(this))
{
}

QString DictionaryModel::unreadableNotice() const
{
    QStringList notices;
    for (const Store::Collection c : {Store::Collection::Words, Store::Collection::Corrections, Store::Collection::Snippets})
        if (const QString n = UnreadableNotice::text(Store::shared(), c); !n.isEmpty())
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
    return words_->add(word);
}

void DictionaryModel::removeWord(const QString &word)
{
    words_->remove(word);
}

void DictionaryModel::addSnippet()
{
    snippets_->append();
}

void DictionaryModel::removeSnippet(const QString &id)
{
    snippets_->remove(id);
}

void DictionaryModel::addCorrection()
{
    corrections_->append();
}

void DictionaryModel::removeCorrection(const QString &id)
{
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
