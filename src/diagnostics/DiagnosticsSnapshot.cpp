#include "diagnostics/CommandLine.h"

#include "ui/kit/RenderMode.h"
#include "diagnostics/Snapshot.h"

#include <QCoreApplication>

namespace Diagnostics {

QCoro::Task<> snapshot(QStringList values, Program program)
{
    std::optional<QByteArray> theme;
    if (qEnvironmentVariableIsSet("MUREL_THEME"))
        theme = qgetenv("MUREL_THEME");
    RenderMode::instance()->enterSnapshot(RenderMode::forcedDarkFrom(theme));
    const Snapshot::Result result = Snapshot::render(values.constFirst(), program.engine, program.navigation);
    for (const QString &error : result.errors)
        print(error);
    co_return;
}

} // namespace Diagnostics
