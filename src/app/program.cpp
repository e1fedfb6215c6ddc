// SPDX-License-Identifier: MIT
#include "app/program.h"

#include "errors/error.h"
#include "lib/window/startup.h"
#include "ui/app.h"

namespace talvi::app {

int RunProgram(int& argc, char** argv, const std::function<void()>& entry) {
  ui::Startup(argc, argv);
  lib::Startup();
  // The message of an abandoned error has been shown where it was raised;
  // here the run only ends in order.
  const bool finished = errors::RecoveryPoint([&entry] { entry(); });
  lib::Shutdown();
  ui::Shutdown();
  return finished ? 0 : 1;
}

}  // namespace talvi::app
