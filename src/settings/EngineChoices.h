#pragma once

#include "model/SettingsTypes.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/KeyStore.h")
Q_MOC_INCLUDE("model/Store.h")

#include <functional>
#include <optional>

class AppSettings;
class KeyStore;
class Store;

// The engine card's texts and options: which engines transcribe and rewrite,
// what they are called for the route in use (own key or hosted), and what 1 000
// dictations cost. The local model's availability is asked once, asynchronously.
// Made in QML, it is given the settings, the keys and the store, then starts.
class EngineChoices : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(KeyStore *keys READ keys WRITE setKeys FINAL)
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)

    Q_PROPERTY(QString sttLabel READ sttLabel NOTIFY changed)
    Q_PROPERTY(QString rewriteLabel READ rewriteLabel NOTIFY changed)
    // "0,050 $ / 1 000 dictées", or "Gratuit" alone.
    Q_PROPERTY(QString costText READ costText NOTIFY changed)
    // {value, label} for the engine pickers; {id, label} for the model pickers.
    Q_PROPERTY(QVariantList transcriptionOptions READ transcriptionOptions NOTIFY changed)
    Q_PROPERTY(QVariantList rewriteOptions READ rewriteOptions NOTIFY changed)
    Q_PROPERTY(QVariantList deepgramOptions READ deepgramOptions NOTIFY changed)
    Q_PROPERTY(QVariantList openRouterOptions READ openRouterOptions NOTIFY changed)
    Q_PROPERTY(bool usesOwnKey READ usesOwnKey NOTIFY changed)
    // Whether the cloud engines go through OpenRouter and are named so: with the
    // user's key, or wherever no hosted service exists.
    Q_PROPERTY(bool throughOpenRouter READ throughOpenRouter NOTIFY changed)
    Q_PROPERTY(bool localModelAvailable READ localModelAvailable NOTIFY changed)

public:
    explicit EngineChoices(QObject *parent = nullptr);
    // Tests: their settings, a fixed own-key answer and no availability query.
    EngineChoices(AppSettings *settings, std::function<bool()> usesOwnKey, QObject *parent = nullptr);

    AppSettings *settings() const;
    KeyStore *keys() const;
    Store *store() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);
    void setKeys(KeyStore *keys);
    void setStore(Store *store);

    void classBegin() override {}
    void componentComplete() override;

    // "%.3f $" under 0.1, else "%.2f $", with a decimal comma.
    static QString money(double amount);
    // Dollars for 1 000 dictations with these engines.
    static double totalCost(TranscriptionEngine stt, const QString &deepgramModel, RewriteEngine rewrite,
                            const QString &openRouterModel);

    QString sttLabel() const;
    QString rewriteLabel() const;
    QString costText() const;
    QVariantList transcriptionOptions() const;
    QVariantList rewriteOptions() const;
    QVariantList deepgramOptions() const;
    QVariantList openRouterOptions() const;
    bool usesOwnKey() const { return ownKey_ ? ownKey_() : false; }
    bool throughOpenRouter() const;
    bool localModelAvailable() const { return localAvailable_; }

    void setLocalModelAvailable(bool available);

Q_SIGNALS:
    void changed();

private:
    void askLocalModel();
    void followSettings();

    QPointer<AppSettings> settings_;
    QPointer<KeyStore> keys_;
    QPointer<Store> store_;
    bool started_ = false;
    std::function<bool()> ownKey_;
    bool localAvailable_ = false;
};
