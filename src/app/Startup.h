#pragma once

namespace Startup {

// Creates the application, runs the start-up steps and the event loop.
int run(int argc, char *argv[]);

} // namespace Startup
