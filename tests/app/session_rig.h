// SPDX-License-Identifier: MIT
// A transfer session as the program runs it, minus the entry routine: a
// real dialog (offscreen) with the log control, the port opened on the
// simulated remote's pty, and the session driven from the test on a clock
// that moves only when the test steps it.
#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/apricom.h"
#include "app/stepped_clock.h"
#include "app/transfer.h"
#include "os/keystate.h"
#include "remote/remote.h"
#include "serial/serial.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

namespace talvi::testing {

struct SessionRig {
  explicit SessionRig(remote::Options options) : remote(std::move(options)) {
    ui::Startup();
    os::ClearKeyStateOverrides();
    ui::DialogArgs args;
    args.cCaption = "session";
    args.nWidth = 500;
    args.nHeight = 500;
    dialog = ui::TDialog::New(args);
    log = ui::TMultiGet::New(0, 0, logText, dialog.get(), 500, 500, true);
    ui::ActivateArgs activate;
    activate.lModal = false;
    dialog->Activate(activate);
    if (remote.ok()) handle = app::APRICOM(*dialog, remote.portPath(), transfer);
  }
  ~SessionRig() {
    os::ClearKeyStateOverrides();
    if (handle >= 0) serial::CLOSECOMM(handle);
    remote.stop();
    if (dialog->hWnd != 0) dialog->End();
  }

  bool ok() const { return remote.ok() && handle >= 0; }
  void run() {
    remote.start();
    transfer.TALVI(handle, *log);
  }
  // After the next save step, hold Esc so that the session returns.
  void escAfterSave() {
    transfer.save = [this](std::string& image) {
      saved.push_back(image);
      os::SetKeyStateOverride(os::VK_ESCAPE, true);
    };
  }

  // Holds Esc as soon as `ready` answers true (asked every 10 ms from the
  // session's own pump), so that a test ends the session at a point of the
  // exchange rather than at a moment; after 30 s it holds Esc anyway and the
  // test's checks then tell what never happened.
  void escWhen(std::function<bool()> ready) {
    escTimer = std::make_unique<QTimer>();
    QTimer* timer = escTimer.get();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, giveUp] {
      if (!ready() && std::chrono::steady_clock::now() < giveUp) return;
      timer->stop();
      os::SetKeyStateOverride(os::VK_ESCAPE, true);
    });
    timer->start(10);
  }

  remote::RemoteThread remote;
  std::unique_ptr<ui::TDialog> dialog;
  ui::TMultiGet* log = nullptr;
  ui::TextVar logText;
  SteppedClock clock;
  app::Transfer transfer{clock};
  serial::Handle handle = -1;
  std::vector<std::string> saved;
  std::unique_ptr<QTimer> escTimer;
};

}  // namespace talvi::testing
