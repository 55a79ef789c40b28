#include "settings/GeneralChoices.h"

#include "core/SetOnce.h"
#include "shell/LoginItem.h"
#include "audio/MicrophoneList.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"

#include <QFileInfo>
#include <QVariantMap>

using namespace Qt::StringLiterals;

GeneralChoices::GeneralChoices(QObject *parent) : QObject(parent)
{
    followAutostart();
}

GeneralChoices::GeneralChoices(AppSettings *settings, MicrophoneList *microphones, std::function<void()> restartKeys,
                               QObject *parent)
    : QObject(parent), settings_(settings), list_(microphones), restartKeys_(std::move(restartKeys))
{
    start();
    followAutostart();
}

AppSettings *GeneralChoices::settings() const
{
    return settings_;
}

MicrophoneList *GeneralChoices::microphoneList() const
{
    return list_;
}

DictationController *GeneralChoices::controller() const
{
    return controller_;
}

void GeneralChoices::setSettings(AppSettings *settings)
{
    if (!setOnce(settings_, settings, started_))
        return;
    Q_EMIT keysChanged();
    Q_EMIT microphonesChanged();
}

void GeneralChoices::setMicrophoneList(MicrophoneList *microphones)
{
    if (setOnce(list_, microphones, started_))
        Q_EMIT microphonesChanged();
}

void GeneralChoices::setController(DictationController *controller)
{
    setOnce(controller_, controller, started_);
}

void GeneralChoices::componentComplete()
{
    if (started_)
        return;
    if (controller_)
        restartKeys_ = [controller = controller_] {
            if (controller)
                controller->hotkey().restart();
        };
    start();
}

void GeneralChoices::start()
{
    started_ = true;
    if (settings_) {
        connect(settings_, &AppSettings::keyChanged, this, &GeneralChoices::keysChanged);
        connect(settings_, &AppSettings::microphoneUIDChanged, this, &GeneralChoices::microphonesChanged);
    }
    if (list_) {
        connect(list_, &MicrophoneList::devicesChanged, this, &GeneralChoices::microphonesChanged);
        list_->refresh();
    }
}

void GeneralChoices::followAutostart()
{
    launchAtLogin_ = LoginItem::isEnabled();
    connect(&autostart_, &QFileSystemWatcher::fileChanged, this, &GeneralChoices::refreshLaunchAtLogin);
    connect(&autostart_, &QFileSystemWatcher::directoryChanged, this, &GeneralChoices::refreshLaunchAtLogin);
    watchAutostart();
}

void GeneralChoices::watchAutostart()
{
    // The entry, its folder and the folder above: a removed or renamed-over entry
    // drops its watch, and the folder itself may come and go.
    const QFileInfo entry(LoginItem::entryPath());
    QStringList paths{entry.absoluteFilePath(), entry.absolutePath(), QFileInfo(entry.absolutePath()).absolutePath()};
    paths.removeIf([](const QString &path) { return !QFileInfo::exists(path); });
    const QStringList watched = autostart_.files() + autostart_.directories();
    for (const QString &path : paths)
        if (!watched.contains(path))
            autostart_.addPath(path);
}

QList<DictationKey> GeneralChoices::offeredKeys(DictationKey stored)
{
    // X11 has no Fn key event: it is listed only to show what is stored.
    QList<DictationKey> out{DictationKey::RightAlt, DictationKey::RightSuper, DictationKey::RightControl};
    if (stored == DictationKey::Fn)
        out << DictationKey::Fn;
    return out;
}

QVariantList GeneralChoices::keys() const
{
    QVariantList out;
    if (!settings_)
        return out;
    for (DictationKey key : offeredKeys(settings_->key()))
        out << QVariantMap{{u"value"_s, int(key)}, {u"label"_s, Ombry::label(key)}};
    return out;
}

int GeneralChoices::keyIndex() const
{
    return settings_ ? int(offeredKeys(settings_->key()).indexOf(settings_->key())) : -1;
}

QString GeneralChoices::keyHint() const
{
    if (settings_ && settings_->key() == DictationKey::Fn)
        return u"La touche Fn n'est pas visible sous Linux : choisis-en une autre"_s;
    return {};
}

QVariantList GeneralChoices::microphones() const
{
    QVariantList out{QVariantMap{{u"uid"_s, QString()}, {u"name"_s, u"Micro du système"_s}}};
    if (list_)
        for (const Microphones::Device &device : list_->devices())
            out << QVariantMap{{u"uid"_s, device.uid}, {u"name"_s, device.name}};
    return out;
}

int GeneralChoices::microphoneIndex() const
{
    if (!settings_)
        return -1;
    const std::optional<QString> uid = settings_->microphoneUID();
    if (!uid)
        return 0;
    if (list_) {
        const QList<Microphones::Device> &devices = list_->devices();
        for (qsizetype i = 0; i < devices.size(); ++i)
            if (devices.at(i).uid == *uid)
                return int(i) + 1;
    }
    return -1;
}

void GeneralChoices::chooseKey(int index)
{
    if (!settings_)
        return;
    const QList<DictationKey> offered = offeredKeys(settings_->key());
    if (index < 0 || index >= offered.size())
        return;
    const DictationKey key = offered.at(index);
    const bool changed = key != settings_->key();
    settings_->setKey(key);
    if (changed && restartKeys_)
        restartKeys_();
}

void GeneralChoices::chooseMicrophone(int index)
{
    if (!settings_)
        return;
    if (index == 0) {
        settings_->setMicrophoneUID(std::nullopt);
        return;
    }
    if (!list_ || index < 1 || index > list_->devices().size())
        return;
    settings_->setMicrophoneUID(list_->devices().at(index - 1).uid);
}

void GeneralChoices::setLaunchAtLogin(bool on)
{
    LoginItem::set(on);
    refreshLaunchAtLogin();
}

void GeneralChoices::refreshLaunchAtLogin()
{
    watchAutostart();
    const bool now = LoginItem::isEnabled();
    if (now == launchAtLogin_)
        return;
    launchAtLogin_ = now;
    Q_EMIT launchAtLoginChanged();
}
