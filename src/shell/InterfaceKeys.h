#pragma once

#include <QObject>
#include <QString>

class Defaults;
class StoredValue;

// The interface's own keys of the defaults store, for the views: the
// translation page's tab, the settings page's tab, and whether the first-run
// onboarding is done. One instance per process, so every view that shows one
// updates together; a signal means that what a view shows changed.
class InterfaceKeys final : public QObject
{
    Q_OBJECT

    // "text" or "calls"; anything else stored reads as "text".
    Q_PROPERTY(QString translationTab READ translationTab WRITE setTranslationTab NOTIFY translationTabChanged)
    // The settings tab by name; "general" when missing.
    Q_PROPERTY(QString settingsTab READ settingsTab WRITE setSettingsTab NOTIFY settingsTabChanged)
    // False when missing.
    Q_PROPERTY(bool onboarded READ onboarded WRITE setOnboarded NOTIFY onboardedChanged)

public:
    explicit InterfaceKeys(Defaults &store, QObject *parent = nullptr);
    ~InterfaceKeys() override;

    // The tab that a stored value stands for.
    static QString translationTabFor(const QString &stored);

    QString translationTab() const;
    // Only "text" and "calls" are written; anything else is refused.
    void setTranslationTab(const QString &tab);
    QString settingsTab() const;
    void setSettingsTab(const QString &tab);
    bool onboarded() const;
    void setOnboarded(bool onboarded);

Q_SIGNALS:
    void translationTabChanged();
    void settingsTabChanged();
    void onboardedChanged();

private:
    StoredValue *translationTab_;
    StoredValue *settingsTab_;
    StoredValue *onboarded_;
};
