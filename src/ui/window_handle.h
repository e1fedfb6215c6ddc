// SPDX-License-Identifier: MIT
// The window handle that names a window outside the window layer.
#pragma once

#include <cstdint>

namespace talvi::ui {

// A window handle as handed to the serial layer: an integer that names one
// live window; 0 means "no window". Handles are never reused, so a handle
// of a window that has gone names nothing.
using WindowHandle = std::intptr_t;

}  // namespace talvi::ui
