#pragma once

#include <QSortFilterProxyModel>
#include <QtQml/qqmlregistration.h>

// The newest `limit` subtitle lines, newest first, however long the run.
class RecentLinesModel : public QSortFilterProxyModel
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(QAbstractItemModel *source READ sourceModel WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(int limit READ limit WRITE setLimit NOTIFY limitChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit RecentLinesModel(QObject *parent = nullptr);

    void setSource(QAbstractItemModel *source);
    int limit() const { return limit_; }
    void setLimit(int limit);
    int count() const { return rowCount(); }

Q_SIGNALS:
    void sourceChanged();
    void limitChanged();
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    int limit_ = 40;
};
