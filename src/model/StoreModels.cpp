#include "model/StoreModels.h"

#include "model/TextUtil.h"

namespace {

QUuid idFrom(const QString &text)
{
    return QUuid::fromString(text);
}

QVariantList fixList(const QList<Fix> &fixes)
{
    QVariantList out;
    out.reserve(fixes.size());
    for (const Fix &f : fixes)
        out.append(QVariantMap{
            {QStringLiteral("id"), uuidText(f.id)},
            {QStringLiteral("original"), f.original},
            {QStringLiteral("correction"), f.correction},
            {QStringLiteral("kind"), f.kind},
            {QStringLiteral("explanation"), f.explanation},
        });
    return out;
}

} // namespace

// --- history

HistoryModel::HistoryModel(Store *store, QObject *parent)
    : StoreListModel(store, Store::Collection::History,
                     {"id", "date", "appName", "bundleID", "finalText", "rawText", "duration", "audioFile", "wordCount",
                      "wordsPerMinute"},
                     "finalText", {}, parent)
{
    reload();
}

qsizetype HistoryModel::sourceCount() const
{
    return store()->dictations().size();
}

QVariantList HistoryModel::rowValues(qsizetype row) const
{
    const Dictation &d = store()->dictations().at(row);
    return {uuidText(d.id), d.date,     d.appName,          d.bundleIDText(),
            d.finalText,    d.rawText,  d.duration,         d.audioFileText(),
            qint64(TextUtil::wordCount(d.finalText)), d.wordsPerMinute()};
}

bool HistoryModel::removeFromStore(const QString &id)
{
    return store()->removeDictation(idFrom(id));
}

QUrl HistoryModel::audioUrl(int row) const
{
    if (!store() || row < 0 || row >= store()->dictations().size())
        return {};
    return store()->audioURL(store()->dictations().at(row));
}

// --- corrector history

FixHistoryModel::FixHistoryModel(Store *store, QObject *parent)
    : StoreListModel(store, Store::Collection::Fixes,
                     {"id", "date", "appName", "bundleID", "action", "original", "result", "fixes", "fixCount"},
                     "result", {}, parent)
{
    reload();
}

qsizetype FixHistoryModel::sourceCount() const
{
    return store()->fixes().size();
}

QVariantList FixHistoryModel::rowValues(qsizetype row) const
{
    const CorrectionRecord &r = store()->fixes().at(row);
    return {uuidText(r.id), r.date,   r.appName,        r.bundleIDText(),     r.action,
            r.original,     r.result, fixList(r.fixes), int(r.fixes.size())};
}

bool FixHistoryModel::removeFromStore(const QString &id)
{
    return store()->removeFix(idFrom(id));
}

// --- words

WordsModel::WordsModel(Store *store, QObject *parent)
    : StoreListModel(store, Store::Collection::Words, {"id", "word"}, "word", {}, parent)
{
    reload();
}

bool WordsModel::add(const QString &word)
{
    return store() && store()->addWord(word);
}

qsizetype WordsModel::sourceCount() const
{
    return store()->words().size();
}

QVariantList WordsModel::rowValues(qsizetype row) const
{
    const QString &w = store()->words().at(row);
    return {w, w};
}

bool WordsModel::removeFromStore(const QString &id)
{
    return store()->removeWord(id) > 0;
}

// --- snippets

SnippetsModel::SnippetsModel(Store *store, QObject *parent)
    : StoreListModel(store, Store::Collection::Snippets, {"id", "trigger", "text"}, "trigger", {"trigger", "text"},
                     parent)
{
    reload();
}

QString SnippetsModel::append()
{
    if (!store())
        return {};
    Snippet s; // a fresh id, empty fields
    store()->addSnippet(s);
    return uuidText(s.id);
}

qsizetype SnippetsModel::sourceCount() const
{
    return store()->snippets().size();
}

QVariantList SnippetsModel::rowValues(qsizetype row) const
{
    const Snippet &s = store()->snippets().at(row);
    return {uuidText(s.id), s.trigger, s.text};
}

bool SnippetsModel::write(qsizetype row, const QByteArray &role, const QString &value)
{
    const QList<Snippet> &list = store()->snippets();
    const QUuid id = idFrom(get(int(row), QStringLiteral("id")).toString());
    if (row >= list.size() || list.at(row).id != id)
        return false;
    Snippet s = list.at(row);
    (role == "trigger" ? s.trigger : s.text) = value;
    return store()->updateSnippet(s, row);
}

bool SnippetsModel::removeFromStore(const QString &id)
{
    return store()->removeSnippet(idFrom(id));
}

// --- corrections

CorrectionsModel::CorrectionsModel(Store *store, QObject *parent)
    : StoreListModel(store, Store::Collection::Corrections, {"id", "heard", "written"}, "heard", {"heard", "written"},
                     parent)
{
    reload();
}

QString CorrectionsModel::append()
{
    if (!store())
        return {};
    Correction c;
    store()->addCorrection(c);
    return uuidText(c.id);
}

qsizetype CorrectionsModel::sourceCount() const
{
    return store()->corrections().size();
}

QVariantList CorrectionsModel::rowValues(qsizetype row) const
{
    const Correction &c = store()->corrections().at(row);
    return {uuidText(c.id), c.heard, c.written};
}

bool CorrectionsModel::write(qsizetype row, const QByteArray &role, const QString &value)
{
    const QList<Correction> &list = store()->corrections();
    const QUuid id = idFrom(get(int(row), QStringLiteral("id")).toString());
    if (row >= list.size() || list.at(row).id != id)
        return false;
    Correction c = list.at(row);
    (role == "heard" ? c.heard : c.written) = value;
    return store()->updateCorrection(c, row);
}

bool CorrectionsModel::removeFromStore(const QString &id)
{
    return store()->removeCorrection(idFrom(id));
}

// --- meetings

MeetingsModel::MeetingsModel(Store *store, QObject *parent)
    : StoreListModel(store, Store::Collection::Meetings,
                     {"id", "date", "duration", "title", "transcript", "summary", "tasks"}, "title", {}, parent)
{
    reload();
}

qsizetype MeetingsModel::sourceCount() const
{
    return store()->meetings().size();
}

QVariantList MeetingsModel::rowValues(qsizetype row) const
{
    const Meeting &m = store()->meetings().at(row);
    return {uuidText(m.id), m.date, m.duration, m.title, m.transcript, m.summary, m.tasks};
}

bool MeetingsModel::removeFromStore(const QString &id)
{
    return store()->removeMeeting(idFrom(id));
}
