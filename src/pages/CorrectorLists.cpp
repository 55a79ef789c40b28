#include "pages/CorrectorLists.h"

#include "core/SetOnce.h"
#include "model/Store.h"

FixListModel::FixListModel(QObject *parent) : QAbstractListModel(parent) {}

void FixListModel::setFixes(const QList<Fix> &fixes)
{
    const bool hadIgnored = !ignored_.isEmpty();
    const bool countChange = fixes.size() != fixes_.size();
    beginResetModel();
    fixes_ = fixes;
    ignored_.clear();
    endResetModel();
    if (countChange)
        Q_EMIT countChanged();
    if (hadIgnored)
        Q_EMIT ignoredChanged();
}

void FixListModel::updateFixes(const QList<Fix> &fixes)
{
    for (const Fix &fix : fixes) {
        for (qsizetype row = 0; row < fixes_.size(); ++row) {
            Fix &mine = fixes_[row];
            if (mine.id != fix.id)
                continue;
            if (mine.kind != fix.kind || mine.explanation != fix.explanation) {
                mine.kind = fix.kind;
                mine.explanation = fix.explanation;
                const QModelIndex at = index(int(row));
                Q_EMIT dataChanged(at, at, {KindRole, ExplanationRole});
            }
            break;
        }
    }
}

void FixListModel::announceIgnored(qsizetype row)
{
    const QModelIndex at = index(int(row));
    Q_EMIT dataChanged(at, at, {IgnoredRole});
}

void FixListModel::toggle(const QUuid &id)
{
    for (qsizetype row = 0; row < fixes_.size(); ++row) {
        if (fixes_[row].id != id)
            continue;
        if (!ignored_.remove(id))
            ignored_.insert(id);
        announceIgnored(row);
        Q_EMIT ignoredChanged();
        return;
    }
}

void FixListModel::setAllIgnored(bool all)
{
    bool changed = false;
    for (qsizetype row = 0; row < fixes_.size(); ++row) {
        const QUuid &id = fixes_[row].id;
        if (all == ignored_.contains(id))
            continue;
        if (all)
            ignored_.insert(id);
        else
            ignored_.remove(id);
        announceIgnored(row);
        changed = true;
    }
    if (changed)
        Q_EMIT ignoredChanged();
}

int FixListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(fixes_.size());
}

QVariant FixListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= fixes_.size())
        return {};
    const Fix &fix = fixes_[index.row()];
    switch (role) {
    case IdRole:
        return uuidText(fix.id);
    case OriginalRole:
        return fix.original;
    case CorrectionRole:
        return fix.correction;
    case KindRole:
        return CorrectorText::capitalised(fix.kind);
    case ExplanationRole:
        return fix.explanation;
    case IgnoredRole:
        return ignored_.contains(fix.id);
    case Qt::DisplayRole:
        return QString(fix.original + QStringLiteral(" → ") + fix.correction);
    default:
        return {};
    }
}

QHash<int, QByteArray> FixListModel::roleNames() const
{
    return {{IdRole, "fixId"},       {OriginalRole, "original"},       {CorrectionRole, "correction"},
            {KindRole, "kind"},      {ExplanationRole, "explanation"}, {IgnoredRole, "ignored"}};
}

FrequentMistakesModel::FrequentMistakesModel(Store *store, QObject *parent) : QAbstractListModel(parent)
{
    setStore(store);
}

void FrequentMistakesModel::setStore(Store *store)
{
    if (!setOnce(store_, store, false))
        return;
    connect(store_, &Store::fixesChanged, this, &FrequentMistakesModel::refresh);
    refresh();
}

void FrequentMistakesModel::refresh()
{
    const QList<CorrectorText::Mistake> next =
        store_ ? CorrectorText::frequentMistakes(store_->fixes()) : QList<CorrectorText::Mistake>();
    const qsizetype common = std::min(next.size(), rows_.size());
    for (qsizetype row = 0; row < common; ++row) {
        if (rows_[row] == next[row])
            continue;
        rows_[row] = next[row];
        const QModelIndex at = index(int(row));
        Q_EMIT dataChanged(at, at);
    }
    if (next.size() > rows_.size()) {
        beginInsertRows({}, int(rows_.size()), int(next.size() - 1));
        rows_.append(next.mid(rows_.size()));
        endInsertRows();
        Q_EMIT countChanged();
    } else if (next.size() < rows_.size()) {
        beginRemoveRows({}, int(next.size()), int(rows_.size() - 1));
        rows_.resize(next.size());
        endRemoveRows();
        Q_EMIT countChanged();
    }
}

int FrequentMistakesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant FrequentMistakesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const CorrectorText::Mistake &m = rows_[index.row()];
    switch (role) {
    case OriginalRole:
        return m.original;
    case CorrectionRole:
        return m.correction;
    case CountRole:
        return qint64(m.count);
    case CountTextRole:
        return QString(QStringLiteral("× ") + CorrectorText::number(m.count));
    case Qt::DisplayRole:
        return QString(m.original + QStringLiteral(" → ") + m.correction);
    default:
        return {};
    }
}

QHash<int, QByteArray> FrequentMistakesModel::roleNames() const
{
    return {{OriginalRole, "original"}, {CorrectionRole, "correction"}, {CountRole, "count"}, {CountTextRole, "countText"}};
}
