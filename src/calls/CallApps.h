#pragma once

#include <QString>
#include <QStringList>

// The call applications the subtitles know by name, under their macOS
// identifiers (kept for stored choices) and the desktop ids of the same
// applications on Linux.
namespace CallApps {

// The nine known call applications, in their fixed order.
const QStringList &known();
// Every identifier of the application that `id` names (itself first).
QStringList aliases(const QString &id);

} // namespace CallApps
