#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class Defaults;

// Launch at login: an XDG autostart entry for this program in
// $XDG_CONFIG_HOME/autostart. Switched on once per installation at start-up;
// the settings switch it afterwards.
namespace LoginItem {

// $XDG_CONFIG_HOME/autostart/ombry-voice.desktop
QString entryPath();

// Where a system-wide entry of the same name would stand ($XDG_CONFIG_DIRS).
QStringList systemEntryPaths();

// One argument of an Exec line, quoted and escaped as the Desktop Entry rules
// require (a "%" is doubled; the string-value escaping of "\" is applied).
QString execArgument(const QString &argument);

// The entry that starts `program`; `hidden` writes an entry that disables a
// system-wide one of the same name.
QByteArray entryText(const QString &program, bool hidden = false);

// Registers (writes the entry, atomically) or unregisters (removes it, or hides
// the system-wide one) this program; logs "démarrage auto: true", "…: false" or
// the failure. Never throws.
void set(bool on);
// Whether an entry of ours starts the program at login.
bool isEnabled();

// The first run of an installation stores "loginItemSetOmbry" then switches
// launch at login on; a stored value of any type means it was done already.
void applyDefault(Defaults &defaults);

} // namespace LoginItem
