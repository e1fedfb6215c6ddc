// The transfer program: library start-up, the window layer, the transfer
// window, shut-down.
#include "app/talvi.h"
#include "errors/errorsys.h"
#include "ui/ui.h"

int main(int argc, char** argv) {
  talvi::ui::Startup(argc, argv);
  talvi::errors::ERRORSYS();
  talvi::app::MAIN();
  talvi::ui::Shutdown();
  return 0;
}
