// The update switch: one check and, when the feed offers a newer build, the
// installation.
#include "diagnostics/CommandLine.h"

#include "update/Updater.h"

namespace Diagnostics {

QCoro::Task<> update(QStringList, Program program)
{
    Updater *updater = program.updater;
    QCoro::Task<Updater::CheckResult> checking = updater->checkFeed();
    const Updater::CheckResult result = co_await std::move(checking);
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
    QCoro::Task<> installing = updater->install();
    co_await std::move(installing);
    print(updater->error());
}

} // namespace Diagnostics
