#pragma once

#include "audio/Microphones.h"
#include "model/SettingsTypes.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("audio/MicrophoneList.h")
Q_MOC_INCLUDE("dictation/DictationController.h")
Q_MOC_INCLUDE("model/AppSettings.h")

#include <functional>

class AppSettings;
class DictationController;
class MicrophoneList;

// What the general tab needs beyond the plain settings: the dictation keys that
// X11 can watch, the input devices (read off the main thread by the shell's
// list), launch at login, and restarting the key monitor when the key changes.
// Nothing is written until the user picks a value. Made in QML, it is given the
// settings, the microphone list and the dictation controller, then starts.
class GeneralChoices : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(MicrophoneList *microphoneList READ microphoneList WRITE setMicrophoneList FINAL)
    // Its key monitor is restarted when the key changes.
    Q_PROPERTY(DictationController *controller READ controller WRITE setController FINAL)

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

    AppSettings *settings() const;
    MicrophoneList *microphoneList() const;
    DictationController *controller() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);
    void setMicrophoneList(MicrophoneList *microphones);
    void setController(DictationController *controller);

    void classBegin() override {}
    void componentComplete() override;

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
    QPointer<DictationController> controller_;
    std::function<void()> restartKeys_;
    bool started_ = false;
    bool launchAtLogin_ = false;
    QFileSystemWatcher autostart_;
    void start();
    void followAutostart();
    void watchAutostart();
};
