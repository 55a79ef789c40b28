#pragma once

#include "audio/Microphones.h"
#include "model/SettingsTypes.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

class AppSettings;
class MicrophoneList;

// What the general tab needs beyond the plain settings: the dictation keys that
// X11 can watch, the input devices (read off the main thread by the shell's
// list), launch at login, and restarting the key monitor when the key changes.
// Nothing is written until the user picks a value.
class GeneralChoices : public QObject
{
    Q_OBJECT
    QML_ELEMENT

    // {value (DictationKey), label}: Fn only while it is the stored key.
    Q_PROPERTY(QVariantList keys READ keys NOTIFY keysChanged)
    Q_PROPERTY(int keyIndex READ keyIndex NOTIFY keysChanged)
    // A short note under the key row while the stored key cannot be watched here.
    Q_PROPERTY(QString keyHint READ keyHint NOTIFY keysChanged)
    // {uid, name}: "Micro du système" (empty uid) first, then the devices.
    Q_PROPERTY(QVariantList microphones READ microphones NOTIFY microphonesChanged)
    // -1 when the stored device is not present.
    Q_PROPERTY(int microphoneIndex READ microphoneIndex NOTIFY microphonesChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)

public:
    explicit GeneralChoices(QObject *parent = nullptr);
    // Tests hand in their own neighbours; `restartKeys` replaces the monitor's restart.
    GeneralChoices(AppSettings *settings, MicrophoneList *microphones, std::function<void()> restartKeys,
                   QObject *parent = nullptr);

    // The keys offered when `stored` is the stored one.
    static QList<DictationKey> offeredKeys(DictationKey stored);

    QVariantList keys() const;
    int keyIndex() const;
    QString keyHint() const;
    QVariantList microphones() const;
    int microphoneIndex() const;
    bool launchAtLogin() const { return launchAtLogin_; }

    // The user's choices. Choosing the key already stored restarts nothing.
    Q_INVOKABLE void chooseKey(int index);
    Q_INVOKABLE void chooseMicrophone(int index);
    Q_INVOKABLE void setLaunchAtLogin(bool on);
    // Reads the autostart entry again; also done whenever the entry or its folder
    // changes, whoever changed it.
    Q_INVOKABLE void refreshLaunchAtLogin();

Q_SIGNALS:
    void keysChanged();
    void microphonesChanged();
    void launchAtLoginChanged();

private:
    QPointer<AppSettings> settings_;
    QPointer<MicrophoneList> list_;
    std::function<void()> restartKeys_;
    bool launchAtLogin_ = false;
    QFileSystemWatcher autostart_;
    void watchAutostart();
};
