// SPDX-License-Identifier: MIT
#include "app/talvi.h"

#include <optional>

#include "app/apricom.h"
#include "app/transfer.h"
#include "fs/profile.h"
#include "lib/keys.h"
#include "lib/window/valid.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

namespace talvi::app {

std::string ReadPortName() {
  std::string port = fs::GETPVPROFSTRING(std::string(kSettingsSection), std::string(kPortKey),
                                         std::string(), kSettingsFile);
  // File names are used with their letter case unchanged throughout: this
  // program never folds them, so there is no case mode to set.
  if (port.find_first_not_of(" \t\r\n") == std::string::npos) {
    port = kDefaultPort;
    fs::WRITEPPROSTRING(std::string(kSettingsSection), std::string(kPortKey), port, kSettingsFile);
  }
  return port;
}

std::string Title(const std::string& portName) {
  return "TALVI 1.01 (" + portName + ":57600,N,8,1)";
}

void MAIN() {
  const std::string port = ReadPortName();
  ui::TextVar logText;
  serial::Handle handle = -1;
  Transfer transfer(SteadySessionClock());
  // The port is released once the window has gone, however MAIN is left (an
  // error abandoned to the program's recovery point included).
  struct PortRelease {
    serial::Handle& handle;
    ~PortRelease() {
      if (handle >= 0) serial::CLOSECOMM(handle);
    }
  } release{handle};

  ui::DialogArgs args;
  args.cCaption = Title(port);
  args.nStyle = 0;
  args.nWidth = 500;
  args.nHeight = 500;
  args.cVarName = "oDlg";
  const auto oDlg = ui::TDialog::New(args);
  oDlg->lModify = false;
  oDlg->lHelpIcon = false;

  ui::TMultiGet* const oLog = ui::TMultiGet::New(0, 0, logText, oDlg.get(), 200, 80, true);

  // Read when the handler runs: by then initialisation has stored it.
  oDlg->bStart = [&transfer, &handle, oLog] { transfer.TALVI(handle, *oLog); };

  ui::ActivateArgs activate;
  activate.lCentered = true;
  activate.bValid = [](ui::TDialog& dialog) { return lib::__VALID(dialog, false); };
  activate.lResize16 = true;
  activate.bInit = [&](ui::TDialog& dialog) {
    dialog.SetControl(oLog);
    handle = APRICOM(dialog, port, transfer);
    if (handle < 0) {
      // Ended before the F4 guard is in place: a key held down cannot keep
      // open a window whose session has no port to run on.
      dialog.bStart = nullptr;
      dialog.End();
      return;
    }
    // Alt+F4 must not close the window; the close box and other requests do.
    dialog.bValid = [](ui::TDialog&) { return !lib::GETASYNCKEYSTATE(kF4Key); };
  };
  oDlg->Activate(activate);
}

}  // namespace talvi::app
