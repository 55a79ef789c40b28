#pragma once

#include <QSortFilterProxyModel>
#include <QtQml/qqmlregistration.h>

class Store;
class FixHistoryModel;

// The newest translations of the corrector history (actions beginning with
// "Traduire"), at most five, newest first.
class RecentTranslationsModel : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit RecentTranslationsModel(QObject *parent = nullptr);
    explicit RecentTranslationsModel(Store *store, QObject *parent = nullptr);

    static bool isTranslation(const QString &action);
    static constexpr int limit = 5;

    int count() const { return rowCount(); }

    // Besides the history's roles, "time": the record's hour and minute in the user's locale.
    QHash<int, QByteArray> roleNames() const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    static QString timeText(const QDateTime &date);

Q_SIGNALS:
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool translationAt(int sourceRow) const;

    FixHistoryModel *history_;
    int actionRole_ = -1;
    int dateRole_ = -1;
    int timeRole_ = -1;
};

// The card's rows and their count, for QML.
class RecentTranslations : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QObject *rows READ rows CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit RecentTranslations(QObject *parent = nullptr);

    QObject *rows() const { return model_; }
    int count() const { return model_->count(); }

Q_SIGNALS:
    void countChanged();

private:
    RecentTranslationsModel *model_;
};
