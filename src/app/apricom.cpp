// SPDX-License-Identifier: MIT
#include "app/apricom.h"

#include "app/transfer.h"
#include "lib/window/msgbox.h"
#include "ui/dialog.h"

namespace talvi::app {
namespace {

serial::Handle Fail(serial::Handle handle, const std::string& text) {
  lib::POPMSG(text, 1);
  if (handle >= 0) serial::CLOSECOMM(handle);
  return -1;
}

}  // namespace

serial::Handle APRICOM(ui::TDialog& dialog, const std::string& portName, Transfer& transfer) {
  const serial::Handle handle = serial::OPENCOMM("\\\\.\\" + portName, kQueueBytes, kQueueBytes);
  if (handle < 0) {
    return Fail(handle, "Errore di apertura della porta di comunicazione (" + portName + ").");
  }
  std::string dcb;
  if (!serial::BUILDCOMMDCB(kLineSettings, dcb)) {
    return Fail(handle,
                "Errore di impostazione dei parametri di comunicazione (" + portName + ").");
  }
  if (!serial::SETCOMMSTATE(handle, dcb)) {
    return Fail(handle, "Errore di impostazione della porta di comunicazione (" + portName + ").");
  }
  dialog.bCommNotify = [&dialog, &transfer](std::intptr_t port, std::intptr_t) {
    transfer.CONNECT(port);
    serial::ENABLECOMMNOTIFICATION(port, dialog.hWnd, 1, -1);
  };
  if (!serial::ENABLECOMMNOTIFICATION(handle, dialog.hWnd, 1, -1)) {
    return Fail(handle, "Errore di abilitazione della notifica (" + portName + ").");
  }
  return handle;
}

}  // namespace talvi::app
