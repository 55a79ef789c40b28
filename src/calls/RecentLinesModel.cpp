#include "calls/RecentLinesModel.h"

RecentLinesModel::RecentLinesModel(QObject *parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
    connect(this, &QAbstractItemModel::rowsInserted, this, &RecentLinesModel::countChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &RecentLinesModel::countChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &RecentLinesModel::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &RecentLinesModel::countChanged);
}

void RecentLinesModel::setSource(QAbstractItemModel *source)
{
    if (source == sourceModel())
        return;
    if (sourceModel())
        disconnect(sourceModel(), nullptr, this, nullptr);
    setSourceModel(source);
    if (source) {
        // A line added or removed moves the window of the newest ones.
        auto refilter = [this] { invalidateFilter(); };
        connect(source, &QAbstractItemModel::rowsInserted, this, refilter);
        connect(source, &QAbstractItemModel::rowsRemoved, this, refilter);
    }
    sort(0, Qt::DescendingOrder);
    Q_EMIT sourceChanged();
    Q_EMIT countChanged();
}

void RecentLinesModel::setLimit(int limit)
{
    if (limit == limit_)
        return;
    limit_ = limit;
    invalidateFilter();
    Q_EMIT limitChanged();
    Q_EMIT countChanged();
}

bool RecentLinesModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    return sourceRow >= sourceModel()->rowCount(sourceParent) - limit_;
}

bool RecentLinesModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    // Source order is the order the lines were cut.
    return left.row() < right.row();
}
