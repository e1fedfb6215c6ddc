// SPDX-License-Identifier: MIT
// A window left open (not modal) with a read-only log control in it, the
// way the program shows its log, and a line added the way the program adds
// one.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/multiget.h"

namespace talvi::testing {

struct LogWindow {
  LogWindow(ui::TextVar& text, int width, int height) : dialog(Args(width, height)) {
    get = ui::TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
    ui::ActivateArgs activate;
    activate.lModal = false;
    activate.bInit = [this](ui::TDialog& d) { d.SetControl(get); };
    dialog.Activate(activate);
  }

  static ui::DialogArgs Args(int width, int height) {
    ui::DialogArgs args;
    args.nWidth = width;
    args.nHeight = height;
    return args;
  }

  ui::TDialog dialog;
  ui::TMultiGet* get = nullptr;
};

inline void AppendLine(ui::TMultiGet& get, const std::string& line) {
  get.Append(line);
  get.Refresh();
  get.GoBottom();
}

}  // namespace talvi::testing
