#pragma once

#include "model/Records.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

class AppSettings;
class Store;

// The applications offered by the translate-apps picker: those seen in the
// history and the corrections, and those already marked, sorted by name.
class TranslateApps : public QObject
{
    Q_OBJECT
    QML_ELEMENT

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
    QPointer<AppSettings> settings_;
    QPointer<Store> store_;
};
