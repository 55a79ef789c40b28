#pragma once

#include "audio/Microphones.h"
#include "model/SettingsTypes.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

// The tray menu as data: what it shows is decided here from its sources, and
// the tray turns it into a QMenu each time it opens or a source changes.
namespace StatusMenu {

enum class Command {
    None,
    PasteLast,
    ShowWindow,
    ToggleCall,
    ToggleMeeting,
    Correct,
    ReadAloud,
    PickLanguage,
    PickMicrophone,
    PickKey,
    OpenSettings,
    Quit,
};

struct Entry
{
    enum class Kind { Item, Separator };
    Kind kind = Kind::Item;
    QString title;
    QString symbol;       // the kit's symbol name, empty for none
    Command command = Command::None;
    QVariant value;       // the represented value of a choice; invalid for none
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
    QString shortcut;     // "Ctrl+,", empty for none
    QList<Entry> children; // a submenu when not empty
};

enum class Meeting { Unavailable, Idle, Recording, Processing };

struct Sources
{
    std::optional<QString> lastDictation; // the newest dictation's final text
    std::optional<bool> callRunning;      // none while the call translator does not exist
    Meeting meeting = Meeting::Unavailable;
    Language language = Language::Fr;
    std::optional<QString> microphoneUID;
    QList<Microphones::Device> microphones;
    DictationKey key = DictationKey::RightControl;
    bool keyMissing = false;              // no engine can serve a dictation
};

// The menu's entries in order.
QList<Entry> build(const Sources &sources);

// "Français", "Automatique (je parle plusieurs langues)", …
QString languageName(Language language);

// The newest dictation as the menu shows it: its first 60 characters and "…"
// when longer.
QString excerpt(const QString &text);

} // namespace StatusMenu
