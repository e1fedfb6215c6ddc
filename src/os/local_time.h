// SPDX-License-Identifier: MIT
// The local calendar time of a moment, with each system's thread-safe call.
#pragma once

#include <ctime>

namespace talvi::os {

// The broken-down local time of `moment`; all zero when the system cannot
// tell (a moment beyond its calendar).
std::tm LocalTime(std::time_t moment);

}  // namespace talvi::os
