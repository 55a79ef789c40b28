#pragma once

#include <QString>

// Carries the former identity's preferences and data over to the current one.
namespace IdentityMigration {

// Moves the former data folder "Murel" (beside target) to target, once: only when
// the former folder exists and target does not. Its "murel.log" becomes "journal.log".
void moveDataFolder(const QString &target);

} // namespace IdentityMigration
