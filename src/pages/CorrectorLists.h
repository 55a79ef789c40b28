#pragma once

#include "pages/CorrectorText.h"
#include "model/Fix.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

class Store;

// The fixes of the shown correction and which of them the user ignores. A new
// correction replaces the list; explanations and toggles change rows in place.
class FixListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Given by the corrector page")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, OriginalRole, CorrectionRole, KindRole, ExplanationRole, IgnoredRole };

    explicit FixListModel(QObject *parent = nullptr);

    int count() const { return int(fixes_.size()); }
    const QList<Fix> &fixes() const { return fixes_; }
    const QSet<QUuid> &ignored() const { return ignored_; }

    // A new list: nothing ignored.
    void setFixes(const QList<Fix> &fixes);
    // Kinds and explanations of the same fixes (matched by id); other rows stay.
    void updateFixes(const QList<Fix> &fixes);
    void toggle(const QUuid &id);
    // Every fix ignored, or none.
    void setAllIgnored(bool all);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();
    void ignoredChanged();

private:
    void announceIgnored(qsizetype row);

    QList<Fix> fixes_;
    QSet<QUuid> ignored_;
};

// The user's most frequent corrections over the corrector history, recomputed
// when the history changes. Rows are updated in place, never reset.
class FrequentMistakesModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Given by the corrector page")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { OriginalRole = Qt::UserRole + 1, CorrectionRole, CountRole, CountTextRole };

    explicit FrequentMistakesModel(Store *store, QObject *parent = nullptr);
    // For an owner given its store after it made this list: once.
    void setStore(Store *store);

    int count() const { return int(rows_.size()); }
    const QList<CorrectorText::Mistake> &mistakes() const { return rows_; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();

private:
    void refresh();

    QPointer<Store> store_;
    QList<CorrectorText::Mistake> rows_;
};
