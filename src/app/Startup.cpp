#include "app/Startup.h"

#include "model/Log.h"

#include <QApplication>

namespace Startup {

int run(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ombry Voice"));
    QApplication::setOrganizationDomain(QStringLiteral("corvanel.com"));
    QApplication::setDesktopFileName(QStringLiteral("com.corvanel.ombryvoice"));
    QApplication::setQuitOnLastWindowClosed(false);
    const int status = app.exec();
    Log::shutdown();
    return status;
}

} // namespace Startup
