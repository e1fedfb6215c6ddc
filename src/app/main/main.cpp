// The transfer program: the window layer's application object, the
// library's start-up (defaults, error handler, sweep of leftovers), the
// transfer window, and the shut-downs in reverse order.
#include "app/talvi.h"
#include "lib/startup.h"
#include "ui/ui.h"

int main(int argc, char** argv) {
  // The application object first, so that it sees the command line (Qt's
  // own options such as -platform) before anything else creates it.
  talvi::ui::Startup(argc, argv);
  talvi::lib::Startup();
  talvi::app::MAIN();
  talvi::lib::Shutdown();
  talvi::ui::Shutdown();
  return 0;
}
