// SPDX-License-Identifier: MIT
// Opening and arming the transfer port.
#pragma once

#include <string>

#include "serial/serial.h"

namespace talvi::ui {
class TDialog;
}

namespace talvi::app {

class Transfer;

// The fixed line settings.
inline constexpr char kLineSettings[] = "57600,N,8,1";
inline constexpr double kQueueBytes = 16384;

// Opens the port "\\.\<portName>", applies the line settings, makes the
// dialog's notifications feed `transfer` and arms them. On failure shows
// one message naming the port and gives -1 (the port is not left open).
serial::Handle APRICOM(ui::TDialog& dialog, const std::string& portName, Transfer& transfer);

}  // namespace talvi::app
