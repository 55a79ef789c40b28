#pragma once

#include "model/Records.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/Store.h")

class AppSettings;
class Store;

// The applications offered by the translate-apps picker: those seen in the
// history and the corrections, and those already marked, sorted by name.
// Made in QML, it is given the settings and the store, then starts.
class TranslateApps : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)

    // {name, bundleId, marked}, in the order shown.
    Q_PROPERTY(QVariantList apps READ apps NOTIFY appsChanged)

public:
    struct App
    {
        QString name;
        QString bundleId;
        bool operator==(const App &) const = default;
    };

    explicit TranslateApps(QObject *parent = nullptr);
    TranslateApps(AppSettings *settings, Store *store, QObject *parent = nullptr);

    AppSettings *settings() const;
    Store *store() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);
    void setStore(Store *store);

    void classBegin() override {}
    void componentComplete() override;

    // Known applications from the records (newest first) and the marked ids;
    // `own` (this program) is never listed.
    static QList<App> known(const QList<Dictation> &dictations, const QList<CorrectionRecord> &fixes,
                            const QStringList &marked, const QString &own);
    // `marked` with `bundleId` removed everywhere when present, else appended.
    static QStringList toggled(const QStringList &marked, const QString &bundleId);

    QVariantList apps() const;
    Q_INVOKABLE void toggle(const QString &bundleId);

Q_SIGNALS:
    void appsChanged();

private:
    void start();

    QPointer<AppSettings> settings_;
    QPointer<Store> store_;
    bool started_ = false;
};
