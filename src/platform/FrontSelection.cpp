#include "platform/FrontSelection.h"

#include "platform/Clipboard.h"
#include "platform/SelectionOwners.h"
#include "platform/SessionRoutes.h"
#include "platform/WaylandClipboard.h"
#include "platform/WaylandToplevels.h"

namespace FrontSelection {
namespace {

// X times are 32-bit milliseconds that wrap about every 49 days.
bool notBefore(quint64 t, quint64 since)
{
    return qint32(quint32(t) - quint32(since)) >= 0;
}

} // namespace

bool primaryHeldBy(const RunningApp &app)
{
    if (app.window)
        return SelectionOwners::ownedByClientOf("PRIMARY", app.window);
    if (!app.toplevel || SessionRoutes::current().clipboard != SessionRoutes::Clipboard::DataControl)
        return false;
    const std::optional<WaylandToplevels::Toplevel> window = WaylandToplevels::find(app.toplevel);
    const std::optional<quint64> taken = WaylandClipboard::takenAt(Clipboard::Mode::Primary);
    return window && window->activated && taken && notBefore(*taken, window->activatedAt);
}

bool clipboardTakenSince(quint64 since)
{
    if (SessionRoutes::current().clipboard == SessionRoutes::Clipboard::DataControl) {
        const std::optional<quint64> taken = WaylandClipboard::takenAt(Clipboard::Mode::Clipboard);
        return taken && notBefore(*taken, since);
    }
    return SelectionOwners::clipboardTakenSince(since) && !Clipboard::ownedHere();
}

} // namespace FrontSelection
