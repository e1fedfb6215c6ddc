// SPDX-License-Identifier: MIT
// The program from its first line to its last.
#pragma once

#include <functional>

#include "app/talvi.h"

namespace talvi::app {

// Creates the window layer's application object (which sees the command
// line first), runs the library's start-up (defaults, error handler, hooks
// of the file-system helpers, sweep of leftovers), then `entry` (the
// transfer program's MAIN) inside the program's outermost recovery point,
// and last the shut-downs in reverse order. An error abandoned with no
// recovery point of its own closer to it ends `entry` there, and the
// shut-downs still run. Gives the exit code: 0, or 1 when `entry` was left
// by such an escape.
int RunProgram(int& argc, char** argv, const std::function<void()>& entry = MAIN);

}  // namespace talvi::app
