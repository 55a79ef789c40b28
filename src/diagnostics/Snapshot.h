#pragma once

#include "shell/Navigation.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

class QQmlEngine;

// Renders every page of the main window to "<page>.png" in a folder, drawn as
// the window draws it but without showing a window.
namespace Snapshot {

inline constexpr QSize kSize{1200, 900};

// The pages in rendering order: the settings first (so that their models are
// warm) and again last, then every page in sidebar order between.
QList<Navigation::Page> order();

struct Result
{
    QStringList written; // paths, in order
    QStringList errors;  // one French line per page that left no file
};

// Creates `folder` (intermediates too) and writes the pages into it, turning
// `navigation` (the one the views of `engine` follow) from page to page.
Result render(const QString &folder, QQmlEngine *engine, Navigation *navigation);

} // namespace Snapshot
