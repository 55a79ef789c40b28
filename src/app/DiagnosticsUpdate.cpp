// The update switch: one check and, when the feed offers a newer build, the
// installation.
#include "app/CommandLine.h"

#include "app/Updater.h"

namespace Diagnostics {

QCoro::Task<> update(QStringList)
{
    Updater *updater = Updater::shared();
    const Updater::CheckResult result = co_await updater->checkFeed();
    // "Up to date" only when the feed said so.
    if (!result.failure.isEmpty()) {
        print(QStringLiteral("erreur: ") + result.failure);
        co_return;
    }
    if (!result.newer) {
        print(QStringLiteral("déjà à jour"));
        co_return;
    }
    const std::optional<Updater::Release> release = updater->available();
    print(QStringLiteral("mise à jour ") + (release ? Updater::printable(release->version) : QString())
          + QStringLiteral(" trouvée, installation…"));
    co_await updater->install();
    print(updater->error());
}

} // namespace Diagnostics
