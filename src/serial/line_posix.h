// SPDX-License-Identifier: MIT
// How port names and line settings translate to POSIX terminals.
#pragma once

#include <termios.h>

#include <string>
#include <string_view>

#include "serial/dcb.h"

namespace talvi::serial {

// The device path for a port name: a leading "\\.\" is dropped, "COMn" (any
// case) is /dev/ttyS(n-1), a name starting with '/' is a path as it stands,
// any other name is looked up under /dev/. Empty for a name that can name
// nothing (empty, or holding a zero byte).
std::string DevicePath(std::string_view name);

// Writes the line settings of `dcb` into `tio` as a raw 8-bit line (no echo,
// no translation, reads that never wait). False, with `tio` untouched, for a
// rate or format that terminals cannot express.
bool DcbToTermios(const Dcb& dcb, termios& tio);

// The terminal speed constant for a rate in bits per second; B0 when there
// is none (and for 0, which would hang up the line).
speed_t SpeedFor(std::uint32_t baud);

}  // namespace talvi::serial
