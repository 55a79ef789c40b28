#pragma once

#include "shell/StatusMenu.h"
#include "dictation/DictationController.h"

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class AppSettings;
class CallTranslator;
class EngineReadiness;
class MeetingRecorder;
class MicrophoneList;
class QAction;
class QMenu;
class QSystemTrayIcon;
class Store;

// The tray icon and its menu. The icon follows the dictation state; the menu is
// rebuilt when it opens and whenever one of its sources changes (some tray
// hosts never say that a menu opens). Nothing here waits on slow work.
class Tray final : public QObject
{
    Q_OBJECT

public:
    // What tests replace; the theme's icons and a timer when empty.
    struct Seams
    {
        // The icon shown beside an item, by symbol name.
        std::function<QIcon(const QString &symbol)> symbol;
        // Runs `work` after `ms` (tests drive the clock).
        std::function<void(int ms, std::function<void()> work)> after;
    };

    // Without `calls` or `meetings` their items stay disabled; without
    // `readiness` the engines read ready.
    Tray(AppSettings *settings, Store *store, DictationController *controller, MicrophoneList *microphones,
         EngineReadiness *readiness, CallTranslator *calls, MeetingRecorder *meetings, Seams seams = {},
         QObject *parent = nullptr);
    ~Tray() override;

    // Puts the icon in the tray (logs once when the desktop has none).
    void show();
    bool shown() const;

    QMenu *menu() const { return menu_.get(); }
    QSystemTrayIcon *icon() const { return icon_.get(); }

    StatusMenu::Sources sources() const;
    // Clears and fills the menu from the current sources.
    void rebuild();
    // Runs what an entry of the menu does.
    void run(StatusMenu::Command command, const QVariant &value);
    // Rebuilds on the next turn, or at the next closing when the menu is open:
    // for sources the tray does not watch itself (the meeting recorder).
    void scheduleRebuild();

    // The tray's picture for a dictation state (three distinct ones).
    static QIcon stateIcon(DictationController::State state);
    // The symbol of the state, as the accessible description names it.
    static QString stateSymbol(DictationController::State state);

Q_SIGNALS:
    void rebuilt();
    // What the menu asks of the rest of the program.
    void windowRequested();
    void settingsRequested();
    void quitRequested();
    void callToggleRequested();
    void meetingToggleRequested();

private:
    void fill(QMenu *menu, const QList<StatusMenu::Entry> &entries);
    void followState();

    AppSettings *settings_;
    Store *store_;
    QPointer<DictationController> controller_;
    MicrophoneList *microphones_;
    QPointer<EngineReadiness> readiness_;
    QPointer<CallTranslator> calls_;
    QPointer<MeetingRecorder> meetings_;
    Seams seams_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    bool rebuildPending_ = false;
    bool menuOpen_ = false;
};
