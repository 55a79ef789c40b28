#pragma once

#include "platform/FrontmostApp.h"

#include <QtGlobal>

// Who made the selections, as the selection reading judges them, whichever way
// the session's clipboard goes. Times are the X server's (SelectionOwners::serverTime()).
namespace FrontSelection {

// Whether PRIMARY holds the selection of `app`: its X client owns it, or, for a
// Wayland window, it was set while that window had the focus (only the focused
// window may set it).
bool primaryHeldBy(const RunningApp &app);

// Whether another client took CLIPBOARD at `since` or later and still holds it.
bool clipboardTakenSince(quint64 since);

} // namespace FrontSelection
