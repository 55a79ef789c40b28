#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The call applications the subtitles know by name, under their Linux identity
// (desktop-file ids, WM_CLASS, the names the sound server gives their streams),
// with the identifiers earlier versions stored for them.
namespace CallApps {

// The known call applications' desktop ids, in their fixed order.
const QStringList &known();
// Every identifier of the application that `id` names (itself first).
QStringList aliases(const QString &id);
// The identifier a stored `id` stands for today: an earlier version's
// identifier becomes the application's desktop id; any other comes back as is.
QString current(const QString &id);
// The application's own name, when `id` is one the table knows.
std::optional<QString> name(const QString &id);

} // namespace CallApps
