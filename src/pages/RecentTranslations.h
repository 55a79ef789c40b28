#pragma once

#include <QPointer>
#include <QQmlParserStatus>
#include <QSortFilterProxyModel>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/Store.h")

class Store;
class FixHistoryModel;

// The newest translations of the corrector history (actions beginning with
// "Traduire"), at most five, newest first.
class RecentTranslationsModel : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
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

// The card's rows and their count, for QML. Made in QML, it is given the store,
// which brings the rows.
class RecentTranslations : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(QObject *rows READ rows NOTIFY rowsChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit RecentTranslations(QObject *parent = nullptr);

    Store *store() const;
    // Once, before the view completes.
    void setStore(Store *store);

    void classBegin() override {}
    void componentComplete() override { started_ = true; }

    QObject *rows() const { return model_; }
    int count() const { return model_ ? model_->count() : 0; }

Q_SIGNALS:
    void rowsChanged();
    void countChanged();

private:
    QPointer<Store> store_;
    bool started_ = false;
    RecentTranslationsModel *model_ = nullptr;
};
