#include "app/Startup.h"

#include "app/CommandLine.h"
#include "model/AppSettings.h"
#include "model/IdentityMigration.h"
#include "model/Log.h"

#include <QApplication>
#include <QTimer>

#include <memory>

namespace {

// The arguments as given, before the application object takes its own options out.
QStringList rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

namespace Startup {

int run(int argc, char *argv[])
{
    const QStringList arguments = rawArguments(argc, argv);
    // A diagnostic switch that draws nothing runs without a display.
    const std::optional<CommandLine::Match> diagnostic = CommandLine::find(arguments);
    std::unique_ptr<QCoreApplication> app;
    if (diagnostic && !diagnostic->which->gui) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        auto gui = std::make_unique<QApplication>(argc, argv);
        gui->setDesktopFileName(QStringLiteral("com.corvanel.ombryvoice"));
        gui->setQuitOnLastWindowClosed(false);
        app = std::move(gui);
    }
    QCoreApplication::setApplicationName(QStringLiteral("Ombry Voice"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvanel.com"));

    QTimer::singleShot(0, app.get(), [arguments] { finishLaunching(arguments); });
    const int status = app->exec();
    Log::shutdown();
    return status;
}

bool finishLaunching(const QStringList &arguments)
{
    IdentityMigration::run();
    AppSettings::shared()->applyTheme();
    if (CommandLine::examine(arguments))
        return true;
    return false;
}

} // namespace Startup
