#include "pages/HistoryListModel.h"

#include "core/SetOnce.h"
#include "dictation/ProcessingRoad.h"
#include "engines/EngineError.h"
#include "core/Log.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/UnreadableNotice.h"
#include "model/TextUtil.h"
#include "pages/DashboardFigures.h"
#include "pages/RecordingPlayer.h"
#include "platform/Clipboard.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct RangeName
{
    HistoryFilter::Range range;
    QLatin1StringView name;
};

constexpr RangeName kRanges[] = {
    {HistoryFilter::Range::Today, QLatin1StringView("today")},
    {HistoryFilter::Range::Week, QLatin1StringView("week")},
    {HistoryFilter::Range::All, QLatin1StringView("all")},
};

} // namespace

HistoryListModel::HistoryListModel(Store *store, RecordingPlayer *player, AppSettings *settings, KeyStore *keys,
                                   QObject *parent)
    : QAbstractListModel(parent)
    , store_(store)
    , player_(player)
    , settings_(settings)
    , keys_(keys)
{
    if (store_) {
        connect(store_, &Store::itemInserted, this, &HistoryListModel::onInserted);
        connect(store_, &Store::itemChanged, this, &HistoryListModel::onChanged);
        connect(store_, &Store::itemRemoved, this, &HistoryListModel::onRemoved);
        connect(store_, &Store::collectionReset, this, &HistoryListModel::onReset);
    }
    loadMirror(Store::Collection::History);
    loadMirror(Store::Collection::Fixes);
    refresh();
    updateAppNames();
    updateCanClear();
}

HistoryListModel::~HistoryListModel() = default;

// --- sources

HistoryListModel::ItemPtr HistoryListModel::makeItem(const Dictation &d)
{
    auto item = std::make_shared<Item>();
    item->id = d.id;
    item->date = d.date;
    item->ms = d.date.isValid() ? d.date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    item->appName = d.appName;
    item->key1 = HistoryFilter::searchKey(d.finalText);
    item->key2 = HistoryFilter::searchKey(d.rawText);
    item->dictation = d;
    return item;
}

HistoryListModel::ItemPtr HistoryListModel::makeItem(const CorrectionRecord &r)
{
    auto item = std::make_shared<Item>();
    item->id = r.id;
    item->date = r.date;
    item->ms = r.date.isValid() ? r.date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    item->appName = r.appName;
    item->key1 = HistoryFilter::searchKey(r.result);
    item->key2 = HistoryFilter::searchKey(r.original);
    item->record = r;
    return item;
}

HistoryListModel::ItemPtr HistoryListModel::itemAt(Store::Collection collection, int row) const
{
    if (collection == Store::Collection::History)
        return makeItem(store_->dictations().at(row));
    return makeItem(store_->fixes().at(row));
}

QList<HistoryListModel::ItemPtr> &HistoryListModel::mirror(Store::Collection collection)
{
    return collection == Store::Collection::History ? dictations_ : fixes_;
}

void HistoryListModel::loadMirror(Store::Collection collection)
{
    QList<ItemPtr> &list = mirror(collection);
    list.clear();
    if (!store_)
        return;
    const qsizetype n = collection == Store::Collection::History ? store_->dictations().size() : store_->fixes().size();
    list.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        list.append(itemAt(collection, int(i)));
}

Store::Collection HistoryListModel::shown() const
{
    return kind_ == 0 ? Store::Collection::History : Store::Collection::Fixes;
}

// --- filters

void HistoryListModel::setNow(const QDateTime &now)
{
    clock_ = [now] { return now; };
    refresh();
}

void HistoryListModel::setClock(std::function<QDateTime()> clock)
{
    clock_ = std::move(clock);
}

void HistoryListModel::setTimeZone(const QTimeZone &zone)
{
    zone_ = zone;
    refresh();
}

QDateTime HistoryListModel::now() const
{
    return (clock_ ? clock_() : QDateTime::currentDateTimeUtc()).toTimeZone(zone_);
}

void HistoryListModel::setKind(int kind)
{
    kind = kind == 1 ? 1 : 0;
    if (kind_ == kind)
        return;
    kind_ = kind;
    orderValid_ = false;
    rebuild();
    updateAppNames();
    Q_EMIT kindChanged();
    Q_EMIT unreadableNoticeChanged();
}

void HistoryListModel::setSearch(const QString &search)
{
    if (search_ == search)
        return;
    search_ = search;
    searchKey_ = HistoryFilter::searchKey(search);
    rebuild();
    Q_EMIT searchChanged();
}

QString HistoryListModel::range() const
{
    for (const RangeName &r : kRanges)
        if (r.range == range_)
            return r.name;
    return {};
}

void HistoryListModel::setRange(const QString &range)
{
    for (const RangeName &r : kRanges) {
        if (r.name != range)
            continue;
        if (range_ != r.range) {
            range_ = r.range;
            rebuild();
            Q_EMIT rangeChanged();
        }
        return;
    }
}

void HistoryListModel::setApp(const QString &app)
{
    if (app_ == app)
        return;
    const QStringList before = appChoices();
    app_ = app;
    rebuild();
    if (appChoices() != before)
        Q_EMIT appNamesChanged();
    Q_EMIT appChanged();
}

QStringList HistoryListModel::appMenu() const
{
    // The chosen application stays listed while no entry of this list bears it, so
    // the menu always reads what the list is filtered by.
    QStringList names = appNames_;
    if (!app_.isEmpty() && !names.contains(app_))
        names.insert(std::lower_bound(names.begin(), names.end(), app_) - names.begin(), app_);
    return names;
}

QStringList HistoryListModel::appChoices() const
{
    return QStringList{u"Toutes les applis"_s} + appMenu();
}

int HistoryListModel::appIndex() const
{
    return app_.isEmpty() ? 0 : int(appMenu().indexOf(app_)) + 1;
}

void HistoryListModel::setAppIndex(int index)
{
    const QStringList names = appMenu();
    setApp(index >= 1 && index <= names.size() ? names.at(index - 1) : QString());
}

bool HistoryListModel::canClear() const
{
    return canClear_;
}

bool HistoryListModel::passes(const Item &item) const
{
    if (!HistoryFilter::inRange(item.date, range_, filterNow_, zone_))
        return false;
    if (!app_.isEmpty() && item.appName != app_)
        return false;
    return HistoryFilter::matches(item.key1, searchKey_) || HistoryFilter::matches(item.key2, searchKey_);
}

bool HistoryListModel::before(const Item *a, const Item *b) const
{
    if (a->ms != b->ms)
        return a->ms > b->ms;
    // Equal dates keep their store order.
    const QList<ItemPtr> &list = kind_ == 0 ? dictations_ : fixes_;
    qsizetype ia = -1, ib = -1;
    for (qsizetype i = 0; i < list.size() && (ia < 0 || ib < 0); ++i) {
        if (list.at(i).get() == a)
            ia = i;
        if (list.at(i).get() == b)
            ib = i;
    }
    return ia < ib;
}

qsizetype HistoryListModel::positionFor(const ItemPtr &item) const
{
    const auto it = std::lower_bound(rows_.cbegin(), rows_.cend(), item,
                                     [this](const ItemPtr &row, const ItemPtr &x) { return before(row.get(), x.get()); });
    return it - rows_.cbegin();
}

qsizetype HistoryListModel::rowOf(const Item *item) const
{
    auto it = std::lower_bound(rows_.cbegin(), rows_.cend(), item->ms,
                               [](const ItemPtr &row, qint64 ms) { return row->ms > ms; });
    for (; it != rows_.cend() && (*it)->ms == item->ms; ++it)
        if (it->get() == item)
            return it - rows_.cbegin();
    return -1;
}

void HistoryListModel::rebuild()
{
    filterNow_ = now();
    today_ = filterNow_.date();
    if (!orderValid_) {
        order_ = kind_ == 0 ? dictations_ : fixes_;
        std::stable_sort(order_.begin(), order_.end(), [](const ItemPtr &a, const ItemPtr &b) { return a->ms > b->ms; });
        orderValid_ = true;
    }
    for (const ItemPtr &row : std::as_const(rows_))
        row->wanted = false;
    QList<ItemPtr> next;
    next.reserve(order_.size());
    for (const ItemPtr &item : std::as_const(order_)) {
        item->wanted = passes(*item);
        if (item->wanted)
            next.append(item);
    }

    // Both lists follow one order: walk them together, removing and inserting runs.
    const qsizetype before = rows_.size();
    qsizetype i = 0, j = 0;
    while (i < rows_.size() || j < next.size()) {
        if (i < rows_.size() && j < next.size() && rows_.at(i) == next.at(j)) {
            ++i;
            ++j;
            continue;
        }
        if (i < rows_.size() && !rows_.at(i)->wanted) {
            qsizetype k = i;
            while (k < rows_.size() && !rows_.at(k)->wanted)
                ++k;
            beginRemoveRows(QModelIndex(), int(i), int(k - 1));
            rows_.remove(i, k - i);
            endRemoveRows();
            continue;
        }
        qsizetype m = j;
        while (m < next.size() && (i >= rows_.size() || next.at(m) != rows_.at(i)))
            ++m;
        beginInsertRows(QModelIndex(), int(i), int(i + (m - j) - 1));
        rows_.insert(i, m - j, nullptr);
        std::copy(next.cbegin() + j, next.cbegin() + m, rows_.begin() + i);
        endInsertRows();
        i += m - j;
        j = m;
    }
    if (rows_.size() != before)
        Q_EMIT countChanged();
}

void HistoryListModel::refresh()
{
    const QDate before = today_;
    rebuild();
    if (before.isValid() && before != today_ && !rows_.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(rows_.size() - 1)), {DayTitleRole});
}

void HistoryListModel::insertRow(const ItemPtr &item)
{
    const qsizetype at = positionFor(item);
    beginInsertRows(QModelIndex(), int(at), int(at));
    rows_.insert(at, item);
    endInsertRows();
    Q_EMIT countChanged();
}

void HistoryListModel::removeRowOf(const Item *item)
{
    const qsizetype at = rowOf(item);
    if (at < 0)
        return;
    beginRemoveRows(QModelIndex(), int(at), int(at));
    rows_.removeAt(at);
    endRemoveRows();
    Q_EMIT countChanged();
}

void HistoryListModel::updateAppNames()
{
    QSet<QString> names;
    for (const ItemPtr &item : std::as_const(kind_ == 0 ? dictations_ : fixes_))
        names.insert(item->appName);
    QStringList sorted(names.cbegin(), names.cend());
    std::sort(sorted.begin(), sorted.end()); // code-unit order, not a collation: "Zoom" before "mail"
    if (sorted == appNames_)
        return;
    const QStringList before = appChoices();
    appNames_ = sorted;
    Q_EMIT appNamesChanged();
    // The menu's entries moved: the chosen one's index with them.
    if (!app_.isEmpty() && appChoices() != before)
        Q_EMIT appChanged();
}

void HistoryListModel::updateCanClear()
{
    const bool can = !dictations_.isEmpty() || !fixes_.isEmpty();
    if (can == canClear_)
        return;
    canClear_ = can;
    Q_EMIT canClearChanged();
}

// --- the store's rows

void HistoryListModel::onInserted(Store::Collection collection, int row)
{
    if (collection != Store::Collection::History && collection != Store::Collection::Fixes)
        return;
    QList<ItemPtr> &list = mirror(collection);
    const qsizetype size = collection == Store::Collection::History ? store_->dictations().size() : store_->fixes().size();
    if (row < 0 || row > list.size() || size != list.size() + 1) {
        onReset(collection);
        return;
    }
    const ItemPtr item = itemAt(collection, row);
    list.insert(row, item);
    if (collection == shown()) {
        orderValid_ = false;
        // A dictation after midnight: "Aujourd'hui" is a new day, yesterday's rows "Hier",
        // and the ranges count from the new day (yesterday's rows leave "Aujourd'hui").
        if (now().date() != today_)
            refresh(); // takes the new entry in with the others
        else if (passes(*item))
            insertRow(item);
        updateAppNames();
    }
    updateCanClear();
}

void HistoryListModel::onChanged(Store::Collection collection, int row)
{
    if (collection != Store::Collection::History && collection != Store::Collection::Fixes)
        return;
    QList<ItemPtr> &list = mirror(collection);
    if (row < 0 || row >= list.size()) {
        onReset(collection);
        return;
    }
    const ItemPtr old = list.at(row);
    const ItemPtr fresh = itemAt(collection, row);
    const qsizetype at = collection == shown() ? rowOf(old.get()) : -1;
    list[row] = fresh;
    if (collection != shown())
        return;
    orderValid_ = false;
    const bool show = passes(*fresh);
    if (at >= 0 && show) {
        rows_[at] = fresh;
        const bool inPlace = (at == 0 || before(rows_.at(at - 1).get(), fresh.get()))
                             && (at + 1 == rows_.size() || before(fresh.get(), rows_.at(at + 1).get()));
        if (inPlace) {
            Q_EMIT dataChanged(index(int(at)), index(int(at)));
            updateAppNames();
            return;
        }
    }
    if (at >= 0) {
        beginRemoveRows(QModelIndex(), int(at), int(at));
        rows_.removeAt(at);
        endRemoveRows();
        Q_EMIT countChanged();
    }
    if (show)
        insertRow(fresh);
    updateAppNames();
}

void HistoryListModel::onRemoved(Store::Collection collection, int row)
{
    if (collection != Store::Collection::History && collection != Store::Collection::Fixes)
        return;
    QList<ItemPtr> &list = mirror(collection);
    const qsizetype size = collection == Store::Collection::History ? store_->dictations().size() : store_->fixes().size();
    if (row < 0 || row >= list.size() || size != list.size() - 1) {
        onReset(collection);
        return;
    }
    const ItemPtr gone = list.at(row);
    if (collection == shown()) {
        removeRowOf(gone.get());
        orderValid_ = false;
    }
    list.removeAt(row);
    if (collection == shown())
        updateAppNames();
    updateCanClear();
}

void HistoryListModel::onReset(Store::Collection collection)
{
    if (collection != Store::Collection::History && collection != Store::Collection::Fixes)
        return;
    // New items for every record: the walk in rebuild() takes the old rows out and the
    // new ones in, which the view sees as removals and insertions.
    loadMirror(collection);
    if (collection == shown()) {
        orderValid_ = false;
        rebuild();
        updateAppNames();
    }
    updateCanClear();
}

// --- rows

int HistoryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QHash<int, QByteArray> HistoryListModel::roleNames() const
{
    return {
        {IdRole, "id"},
        {KindRole, "kind"},
        {DayTitleRole, "dayTitle"},
        {TimeRole, "time"},
        {AppNameRole, "appName"},
        {BundleIdRole, "bundleID"},
        {TextRole, "text"},
        {SecondTextRole, "secondText"},
        {WordsRole, "words"},
        {SpeedRole, "speed"},
        {ActionRole, "action"},
        {FixCountRole, "fixCount"},
        {HasAudioRole, "hasAudio"},
        {ExpandedRole, "expanded"},
        {UntranscribedRole, "untranscribed"},
        {TranscribingRole, "transcribing"},
        {ProblemRole, "problem"},
    };
}

QVariant HistoryListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Item &item = *rows_.at(index.row());
    const bool dictation = item.dictation.has_value();
    const bool untranscribed = dictation && item.dictation->untranscribed();
    switch (role) {
    case IdRole:
        return uuidText(item.id);
    case KindRole:
        return dictation ? u"dictation"_s : u"correction"_s;
    case DayTitleRole:
        return HistoryFilter::dayTitle(item.date.toTimeZone(zone_).date(), today_);
    case TimeRole:
        return DashboardFigures::timeText(item.date, zone_);
    case AppNameRole:
        return item.appName;
    case BundleIdRole:
        return dictation ? item.dictation->bundleIDText() : item.record->bundleIDText();
    case Qt::DisplayRole:
    case TextRole:
        if (untranscribed)
            return u"Dictée non transcrite"_s;
        return dictation ? item.dictation->finalText : item.record->result;
    case SecondTextRole:
        return dictation ? item.dictation->rawText : item.record->original;
    case WordsRole:
        return dictation && !untranscribed ? DashboardFigures::plainWordsText(TextUtil::wordCount(item.dictation->finalText))
                                           : QString();
    case SpeedRole:
        return dictation && !untranscribed
                   ? QString(QString::number(item.dictation->wordsPerMinute()) + u" mots/min"_s)
                   : QString();
    case ActionRole:
        return dictation ? QString() : item.record->action;
    case FixCountRole: {
        const qsizetype n = dictation ? 0 : item.record->fixes.size();
        if (n == 0)
            return QString();
        return QString(QString::number(n) + (n == 1 ? u" correction"_s : u" corrections"_s));
    }
    case HasAudioRole:
        return dictation && store_ && store_->audioURL(*item.dictation).isValid();
    case ExpandedRole:
        return expanded_.contains(item.id);
    case UntranscribedRole:
        return untranscribed;
    case TranscribingRole:
        return transcribing_.contains(item.id);
    case ProblemRole:
        return problems_.value(item.id);
    default:
        return {};
    }
}

int HistoryListModel::indexOf(const QString &id) const
{
    const QUuid uuid = QUuid::fromString(id);
    for (qsizetype i = 0; i < rows_.size(); ++i)
        if (rows_.at(i)->id == uuid)
            return int(i);
    return -1;
}

QVariant HistoryListModel::get(int row, const QString &role) const
{
    const QByteArray name = role.toUtf8();
    const QHash<int, QByteArray> names = roleNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        if (it.value() == name)
            return data(index(row), it.key());
    return {};
}

void HistoryListModel::setExpanded(int row, bool expanded)
{
    if (row < 0 || row >= rows_.size())
        return;
    const QUuid id = rows_.at(row)->id;
    if (expanded_.contains(id) == expanded)
        return;
    if (expanded)
        expanded_.insert(id);
    else
        expanded_.remove(id);
    Q_EMIT dataChanged(index(row), index(row), {ExpandedRole});
}

void HistoryListModel::copy(int row)
{
    if (row < 0 || row >= rows_.size())
        return;
    // The label of an entry without text is no text of the user's.
    if (data(index(row), UntranscribedRole).toBool())
        return;
    Clipboard::setText(data(index(row), TextRole).toString());
}

bool HistoryListModel::replay(int row)
{
    if (!store_ || !player_ || kind_ != 0 || row < 0 || row >= rows_.size())
        return false;
    const ItemPtr &item = rows_.at(row);
    if (!item->dictation)
        return false;
    const QUrl url = store_->audioURL(*item->dictation);
    return url.isValid() && player_->play(url);
}

void HistoryListModel::clearAll()
{
    if (store_)
        store_->clearHistory();
    expanded_.clear();
    // Nothing is left to filter: what comes next shows, whatever its application.
    setApp({});
}

// A transcription of a kept recording as the road sees it: it speaks to the
// history only, never to the dictation controller.
class HistoryListModel::TranscribeHost final : public RoadHost
{
public:
    TranscribeHost(HistoryListModel *model, const QUuid &id) : model_(model), id_(id) {}
    bool owns(quint64) const override { return true; }
    void fail(const QString &message) override
    {
        Log::write(QStringLiteral("erreur: ") + message);
        problem_ = message;
    }
    void show(const QString &) override {}
    void setLastError(const QString &) override {}
    void clearCommandText() override {}
    void finish() override
    {
        if (model_)
            model_->transcribed(id_, problem_);
    }

private:
    QPointer<HistoryListModel> model_;
    QUuid id_;
    std::optional<QString> problem_;
};

void HistoryListModel::transcribe(int row)
{
    if (!store_ || !settings_ || !keys_ || row < 0 || row >= rows_.size())
        return;
    const ItemPtr item = rows_.at(row);
    if (!item->dictation || !item->dictation->untranscribed() || transcribing_.contains(item->id))
        return;
    const QUuid id = item->id;
    transcribing_.insert(id);
    problems_.remove(id);
    Q_EMIT dataChanged(index(row), index(row), {TranscribingRole, ProblemRole});
    auto host = std::make_shared<TranscribeHost>(this, id);
    const DictationData data{settings_, store_, keys_};
    QCoro::Task<> task = ProcessingRoad::transcribeKept(host.get(), data, *item->dictation);
    std::move(task).then([host] {}, [host](const std::exception &error) {
        host->fail(describe(error));
        host->finish();
    });
}

void HistoryListModel::transcribed(const QUuid &id, const std::optional<QString> &problem)
{
    transcribing_.remove(id);
    if (problem)
        problems_.insert(id, *problem);
    const int row = indexOf(uuidText(id));
    if (row >= 0)
        Q_EMIT dataChanged(index(row), index(row), {TranscribingRole, ProblemRole});
}

QString HistoryListModel::unreadableNotice() const
{
    const Store::Collection collection = shown();
    if (noticeDismissed_.contains(collection))
        return {};
    return UnreadableNotice::text(store_, collection);
}

void HistoryListModel::dismissUnreadableNotice()
{
    noticeDismissed_.insert(shown());
    Q_EMIT unreadableNoticeChanged();
}

HistorySource::HistorySource(QObject *parent) : QObject(parent) {}

Store *HistorySource::store() const
{
    return store_;
}

RecordingPlayer *HistorySource::player() const
{
    return player_;
}

AppSettings *HistorySource::settings() const
{
    return settings_;
}

KeyStore *HistorySource::keys() const
{
    return keys_;
}

void HistorySource::setStore(Store *store)
{
    setOnce(store_, store, started_);
}

void HistorySource::setPlayer(RecordingPlayer *player)
{
    setOnce(player_, player, started_);
}

void HistorySource::setSettings(AppSettings *settings)
{
    setOnce(settings_, settings, started_);
}

void HistorySource::setKeys(KeyStore *keys)
{
    setOnce(keys_, keys, started_);
}

void HistorySource::componentComplete()
{
    if (started_)
        return;
    started_ = true;
    list_ = new HistoryListModel(store_, player_, settings_, keys_, this);
    Q_EMIT listChanged();
}
