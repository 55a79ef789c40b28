#include "model/StoreListModel.h"

namespace {

constexpr int kFirstRole = Qt::UserRole + 1;

} // namespace

StoreListModel::StoreListModel(Store *store, Store::Collection collection, QByteArrayList roles, QByteArray display,
                               QByteArrayList editable, QObject *parent)
    : QAbstractListModel(parent)
    , store_(store)
    , collection_(collection)
    , roles_(std::move(roles))
    , display_(int(roles_.indexOf(display)))
{
    editable_.resize(roles_.size());
    for (const QByteArray &name : std::as_const(editable))
        if (const qsizetype i = roles_.indexOf(name); i >= 0)
            editable_[i] = true;
    if (!store_)
        return;
    connect(store_, &Store::itemInserted, this, &StoreListModel::onInserted);
    connect(store_, &Store::itemChanged, this, &StoreListModel::onChanged);
    connect(store_, &Store::itemRemoved, this, &StoreListModel::onRemoved);
    connect(store_, &Store::collectionReset, this, &StoreListModel::onReset);
    connect(store_, &QObject::destroyed, this, [this] {
        beginResetModel();
        rows_.clear();
        endResetModel();
        Q_EMIT countChanged();
    });
}

StoreListModel::~StoreListModel() = default;

void StoreListModel::reload()
{
    beginResetModel();
    rows_.clear();
    if (store_) {
        const qsizetype n = sourceCount();
        rows_.reserve(n);
        for (qsizetype i = 0; i < n; ++i)
            rows_.append(rowValues(i));
    }
    endResetModel();
}

int StoreListModel::roleOf(const QByteArray &name) const
{
    const qsizetype i = roles_.indexOf(name);
    return i < 0 ? -1 : kFirstRole + int(i);
}

int StoreListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant StoreListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QVariantList &values = rows_.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return display_ < 0 ? QVariant() : values.at(display_);
    const int i = role - kFirstRole;
    if (i < 0 || i >= values.size())
        return {};
    return values.at(i);
}

bool StoreListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!store_ || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const int i = (role == Qt::EditRole ? display_ : role - kFirstRole);
    if (i < 0 || i >= roles_.size() || !editable_.at(i) || !value.canConvert<QString>())
        return false;
    const qsizetype row = index.row();
    const QString text = value.toString();
    if (rows_.at(row).at(i).toString() == text)
        return true;
    // The field that sent the edit already shows it: record it first so that the
    // store's change signal finds nothing new to announce for this role.
    const QVariant before = rows_.at(row).at(i);
    rows_[row][i] = text;
    if (!write(row, roles_.at(i), text)) {
        if (row < rows_.size() && rows_.at(row).at(i).toString() == text)
            rows_[row][i] = before;
        return false;
    }
    return true;
}

Qt::ItemFlags StoreListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (index.isValid() && display_ >= 0 && editable_.at(display_))
        f |= Qt::ItemIsEditable;
    return f;
}

QHash<int, QByteArray> StoreListModel::roleNames() const
{
    QHash<int, QByteArray> names;
    for (qsizetype i = 0; i < roles_.size(); ++i)
        names.insert(kFirstRole + int(i), roles_.at(i));
    return names;
}

int StoreListModel::indexOf(const QString &id) const
{
    for (qsizetype i = 0; i < rows_.size(); ++i)
        if (rows_.at(i).at(0).toString() == id)
            return int(i);
    return -1;
}

QVariant StoreListModel::get(int row, const QString &role) const
{
    const int r = roleOf(role.toUtf8());
    if (row < 0 || row >= rows_.size() || r < 0)
        return {};
    return rows_.at(row).at(r - kFirstRole);
}

bool StoreListModel::remove(const QString &id)
{
    return store_ && removeFromStore(id);
}

bool StoreListModel::write(qsizetype, const QByteArray &, const QString &)
{
    return false;
}

// Each handler checks that the store is one step from what the model shows; when it is
// not (a change it missed), it starts again from the store rather than show wrong rows.

void StoreListModel::onInserted(Store::Collection collection, int row)
{
    if (collection != collection_)
        return;
    if (row < 0 || row > rows_.size() || sourceCount() != rows_.size() + 1) {
        onReset(collection);
        return;
    }
    beginInsertRows(QModelIndex(), row, row);
    rows_.insert(row, rowValues(row));
    endInsertRows();
    Q_EMIT countChanged();
}

void StoreListModel::onChanged(Store::Collection collection, int row)
{
    if (collection != collection_)
        return;
    if (row < 0 || row >= rows_.size() || sourceCount() != rows_.size()) {
        onReset(collection);
        return;
    }
    const QVariantList now = rowValues(row);
    QVariantList &shown = rows_[row];
    QList<int> changed;
    for (qsizetype i = 0; i < now.size(); ++i)
        if (now.at(i) != shown.at(i))
            changed.append(kFirstRole + int(i));
    shown = now;
    if (changed.isEmpty())
        return;
    if (display_ >= 0 && changed.contains(kFirstRole + display_))
        changed << Qt::DisplayRole << Qt::EditRole;
    const QModelIndex at = index(row);
    Q_EMIT dataChanged(at, at, changed);
}

void StoreListModel::onRemoved(Store::Collection collection, int row)
{
    if (collection != collection_)
        return;
    if (row < 0 || row >= rows_.size() || sourceCount() != rows_.size() - 1) {
        onReset(collection);
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    rows_.removeAt(row);
    endRemoveRows();
    Q_EMIT countChanged();
}

void StoreListModel::onReset(Store::Collection collection)
{
    if (collection != collection_)
        return;
    const qsizetype before = rows_.size();
    reload();
    if (rows_.size() != before)
        Q_EMIT countChanged();
}
