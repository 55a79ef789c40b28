#pragma once

#include <QString>

class Defaults;

// Carries the former identity's preferences and data over to the current one.
namespace IdentityMigration {

// Once per user: copies the former domain's preferences that the standard store
// lacks, removes the former domain, clears "loginItemSetOmbry" and marks the
// migration done. At every launch: removes the former identity's caches.
// Runs before the settings object is created, on the standard store.
void run(Defaults &standard);
// The same on given stores and cache folder ($XDG_CACHE_HOME).
void run(Defaults &standard, Defaults &former, const QString &cacheHome);

// Moves the former data folder "Murel" (beside target) to target, once: only when
// the former folder exists and target does not. Its "murel.log" becomes "journal.log".
void moveDataFolder(const QString &target);

} // namespace IdentityMigration
