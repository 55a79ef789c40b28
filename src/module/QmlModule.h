#pragma once

#include "audio/MicrophoneList.h"
#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "calls/SubtitleWindow.h"
#include "core/Installed.h"
#include "dictation/DictationController.h"
#include "dictation/Reader.h"
#include "engines/EngineReadiness.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/SettingsTypes.h"
#include "model/Store.h"
#include "pages/RecordingPlayer.h"
#include "shell/InterfaceKeys.h"
#include "shell/Navigation.h"
#include "shell/ShellActions.h"
#include "ui/kit/Kit.h"
#include "update/Updater.h"

#include <QJSEngine>
#include <QtQml/qqmlregistration.h>

// What the Ombry QML module takes from the layers below it, which know nothing
// of QML.

// The settings' enums, as Ombry.Theme.Dark.
namespace OmbryEnums {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Ombry)
QML_NAMED_ELEMENT(Ombry)
Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")
}

// The one place QML gets the program's services: each is a singleton of the
// module whose instance is the object the application built and installed
// before loading any view. The application keeps ownership.
template <class T>
T *rootService()
{
    T *service = Installed<T>::current();
    QJSEngine::setObjectOwnership(service, QJSEngine::CppOwnership);
    return service;
}

struct AppSettingsService
{
    Q_GADGET
    QML_FOREIGN(AppSettings)
    QML_NAMED_ELEMENT(AppSettings)
    QML_SINGLETON
public:
    static AppSettings *create(QQmlEngine *, QJSEngine *) { return rootService<AppSettings>(); }
};

struct StoreService
{
    Q_GADGET
    QML_FOREIGN(Store)
    QML_NAMED_ELEMENT(Store)
    QML_SINGLETON
public:
    static Store *create(QQmlEngine *, QJSEngine *) { return rootService<Store>(); }
};

struct KeyStoreService
{
    Q_GADGET
    QML_FOREIGN(KeyStore)
    QML_NAMED_ELEMENT(KeyStore)
    QML_SINGLETON
public:
    static KeyStore *create(QQmlEngine *, QJSEngine *) { return rootService<KeyStore>(); }
};

struct EngineReadinessService
{
    Q_GADGET
    QML_FOREIGN(EngineReadiness)
    QML_NAMED_ELEMENT(EngineReadiness)
    QML_SINGLETON
public:
    static EngineReadiness *create(QQmlEngine *, QJSEngine *) { return rootService<EngineReadiness>(); }
};

struct UpdaterService
{
    Q_GADGET
    QML_FOREIGN(Updater)
    QML_NAMED_ELEMENT(Updater)
    QML_SINGLETON
public:
    static Updater *create(QQmlEngine *, QJSEngine *) { return rootService<Updater>(); }
};

struct CallTranslatorService
{
    Q_GADGET
    QML_FOREIGN(CallTranslator)
    QML_NAMED_ELEMENT(CallTranslator)
    QML_SINGLETON
public:
    static CallTranslator *create(QQmlEngine *, QJSEngine *) { return rootService<CallTranslator>(); }
};

struct SubtitleWindowService
{
    Q_GADGET
    QML_FOREIGN(SubtitleWindow)
    QML_NAMED_ELEMENT(SubtitleWindow)
    QML_SINGLETON
public:
    static SubtitleWindow *create(QQmlEngine *, QJSEngine *) { return rootService<SubtitleWindow>(); }
};

struct MeetingRecorderService
{
    Q_GADGET
    QML_FOREIGN(MeetingRecorder)
    QML_NAMED_ELEMENT(MeetingRecorder)
    QML_SINGLETON
public:
    static MeetingRecorder *create(QQmlEngine *, QJSEngine *) { return rootService<MeetingRecorder>(); }
};

struct MicrophoneListService
{
    Q_GADGET
    QML_FOREIGN(MicrophoneList)
    QML_NAMED_ELEMENT(MicrophoneList)
    QML_SINGLETON
public:
    static MicrophoneList *create(QQmlEngine *, QJSEngine *) { return rootService<MicrophoneList>(); }
};

struct DictationControllerService
{
    Q_GADGET
    QML_FOREIGN(DictationController)
    QML_NAMED_ELEMENT(DictationController)
    QML_SINGLETON
public:
    static DictationController *create(QQmlEngine *, QJSEngine *) { return rootService<DictationController>(); }
};

struct ReaderService
{
    Q_GADGET
    QML_FOREIGN(Reader)
    QML_NAMED_ELEMENT(Reader)
    QML_SINGLETON
public:
    static Reader *create(QQmlEngine *, QJSEngine *) { return rootService<Reader>(); }
};

struct NavigationService
{
    Q_GADGET
    QML_FOREIGN(Navigation)
    QML_NAMED_ELEMENT(Navigation)
    QML_SINGLETON
public:
    static Navigation *create(QQmlEngine *, QJSEngine *) { return rootService<Navigation>(); }
};

struct InterfaceKeysService
{
    Q_GADGET
    QML_FOREIGN(InterfaceKeys)
    QML_NAMED_ELEMENT(InterfaceKeys)
    QML_SINGLETON
public:
    static InterfaceKeys *create(QQmlEngine *, QJSEngine *) { return rootService<InterfaceKeys>(); }
};

struct RecordingPlayerService
{
    Q_GADGET
    QML_FOREIGN(RecordingPlayer)
    QML_NAMED_ELEMENT(RecordingPlayer)
    QML_SINGLETON
public:
    static RecordingPlayer *create(QQmlEngine *, QJSEngine *) { return rootService<RecordingPlayer>(); }
};

struct ShellService
{
    Q_GADGET
    QML_FOREIGN(ShellActions)
    QML_NAMED_ELEMENT(Shell)
    QML_SINGLETON
public:
    static ShellActions *create(QQmlEngine *, QJSEngine *) { return rootService<ShellActions>(); }
};

struct KitService
{
    Q_GADGET
    QML_FOREIGN(Kit)
    QML_NAMED_ELEMENT(Kit)
    QML_SINGLETON
public:
    static Kit *create(QQmlEngine *, QJSEngine *) { return rootService<Kit>(); }
};
