#pragma once

#include <QStringList>

class DictationController;
class SingleInstance;

namespace Startup {

// The program's actions handed to this copy over the bus drive the controller
// as its keys do.
void wireActions(SingleInstance &instance, DictationController *controller);

// Creates the application, runs the start-up steps and the event loop.
int run(int argc, char *argv[]);

// The steps once the event loop runs: the identity migration, the settings and
// their theme, then the command line. True when a diagnostic switch took over,
// in which case nothing else is set up.
bool finishLaunching(const QStringList &arguments);

} // namespace Startup
