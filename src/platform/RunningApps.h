#pragma once

#include "platform/FrontmostApp.h"

#include <QList>

// Applications that run now, as the window manager knows them: the managed
// windows of _NET_CLIENT_LIST (minimised ones included), one entry per window.
namespace RunningApps {

// Empty without an X server or an EWMH window manager. Main thread.
QList<RunningApp> windows();

} // namespace RunningApps
