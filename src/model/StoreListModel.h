#pragma once

#include "model/Store.h"

#include <QAbstractListModel>
#include <QByteArrayList>
#include <QPointer>
#include <QVariantList>

// A list model over one collection of the store, one row per record in store order.
//
// It follows the store's row signals with row insertions, removals and per-role data
// changes, so a delegate keeps its state (a text field its focus and cursor) while other
// rows come and go; only an assignment of the whole collection resets it.
//
// It keeps each row's role values, which is what lets it tell the changed roles apart.
// An edit through setData() goes to the store at once; the row it came from already
// shows the new text, so that role is not announced back to it (other models over the
// same collection do see the change).
class StoreListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    ~StoreListModel() override;

    Store *store() const { return store_; }
    int count() const { return int(rows_.size()); }
    // The role number of a role name; -1 when unknown.
    int roleOf(const QByteArray &name) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The row of the record with this id (the "id" role), or -1.
    Q_INVOKABLE int indexOf(const QString &id) const;
    // One role of one row, by name; undefined out of range.
    Q_INVOKABLE QVariant get(int row, const QString &role) const;
    // Removes from the store every record with this id; false when there was none.
    Q_INVOKABLE bool remove(const QString &id);

Q_SIGNALS:
    void countChanged();

protected:
    // `roles` lists the role names in the order of rowValues(); the first is "id".
    // `display` names the role also given as Qt::DisplayRole; `editable` the roles
    // that setData() writes. Subclasses call reload() at the end of their constructor.
    StoreListModel(Store *store, Store::Collection collection, QByteArrayList roles, QByteArray display,
                   QByteArrayList editable, QObject *parent);

    void reload();

    // The collection's size in the store, and the role values of one of its records.
    virtual qsizetype sourceCount() const = 0;
    virtual QVariantList rowValues(qsizetype row) const = 0;
    // Writes one edited role of the record at `row` into the store.
    virtual bool write(qsizetype row, const QByteArray &role, const QString &value);
    virtual bool removeFromStore(const QString &id) = 0;

private:
    void onInserted(Store::Collection collection, int row);
    void onChanged(Store::Collection collection, int row);
    void onRemoved(Store::Collection collection, int row);
    void onReset(Store::Collection collection);

    QPointer<Store> store_;
    Store::Collection collection_;
    QByteArrayList roles_;
    int display_ = -1;
    QList<bool> editable_;
    QList<QVariantList> rows_;
};
