#include "pages/RecentTranslations.h"

#include "core/SetOnce.h"
#include "model/StoreModels.h"
#include "pages/DashboardFigures.h"

#include <QTimeZone>

#include <algorithm>

using namespace Qt::StringLiterals;

RecentTranslationsModel::RecentTranslationsModel(Store *store, QObject *parent)
    : QSortFilterProxyModel(parent), history_(new FixHistoryModel(store, this))
{
    actionRole_ = history_->roleOf("action");
    dateRole_ = history_->roleOf("date");
    const QList<int> used = history_->roleNames().keys();
    timeRole_ = *std::max_element(used.begin(), used.end()) + 1;
    setSourceModel(history_);
    // A record coming in at the top pushes the fifth one out: rows further down change
    // their standing, so the whole filter is taken again.
    const auto refilter = [this] { invalidateFilter(); };
    connect(history_, &QAbstractItemModel::rowsInserted, this, refilter);
    connect(history_, &QAbstractItemModel::rowsRemoved, this, refilter);
    connect(history_, &QAbstractItemModel::dataChanged, this, refilter);
    connect(this, &QAbstractItemModel::rowsInserted, this, &RecentTranslationsModel::countChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &RecentTranslationsModel::countChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &RecentTranslationsModel::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &RecentTranslationsModel::countChanged);
}

QHash<int, QByteArray> RecentTranslationsModel::roleNames() const
{
    QHash<int, QByteArray> names = history_->roleNames();
    names.insert(timeRole_, "time");
    return names;
}

QVariant RecentTranslationsModel::data(const QModelIndex &index, int role) const
{
    if (role == timeRole_)
        return timeText(QSortFilterProxyModel::data(index, dateRole_).toDateTime());
    return QSortFilterProxyModel::data(index, role);
}

QString RecentTranslationsModel::timeText(const QDateTime &date)
{
    // The clock of the user's own locale, as on the history cards.
    return DashboardFigures::timeText(date, QTimeZone::systemTimeZone());
}

bool RecentTranslationsModel::isTranslation(const QString &action)
{
    return action.startsWith(u"Traduire"_s);
}

bool RecentTranslationsModel::translationAt(int sourceRow) const
{
    return isTranslation(history_->data(history_->index(sourceRow), actionRole_).toString());
}

bool RecentTranslationsModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (sourceParent.isValid() || !translationAt(sourceRow))
        return false;
    int before = 0;
    for (int row = 0; row < sourceRow; ++row) {
        if (translationAt(row) && ++before >= limit)
            return false;
    }
    return true;
}

RecentTranslations::RecentTranslations(QObject *parent) : QObject(parent) {}

Store *RecentTranslations::store() const
{
    return store_;
}

// Made when the store comes, so that the view lays its first rows out with them.
void RecentTranslations::setStore(Store *store)
{
    if (!setOnce(store_, store, started_))
        return;
    model_ = new RecentTranslationsModel(store_, this);
    connect(model_, &RecentTranslationsModel::countChanged, this, &RecentTranslations::countChanged);
    Q_EMIT rowsChanged();
    Q_EMIT countChanged();
}
