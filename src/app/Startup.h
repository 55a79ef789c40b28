#pragma once

#include <QStringList>

namespace Startup {

// Creates the application, runs the start-up steps and the event loop.
int run(int argc, char *argv[]);

// The steps once the event loop runs: the identity migration, the settings and
// their theme, then the command line. True when a diagnostic switch took over,
// in which case nothing else is set up.
bool finishLaunching(const QStringList &arguments);

} // namespace Startup
