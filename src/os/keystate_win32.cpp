// SPDX-License-Identifier: MIT
// Key state on Windows: the system's asynchronous key state.
// Our headers first: <windows.h> defines VK_ESCAPE and VK_F4 as macros,
// which must not reach the constants of the same names.
// clang-format off
#include "os/keystate_system.h"
#include <windows.h>
// clang-format on

namespace talvi::os::detail {

std::optional<bool> SystemKeyDown(int vk) {
  return (static_cast<unsigned short>(GetAsyncKeyState(vk)) & 0x8000u) != 0;
}

// The asynchronous key state is asked for, never followed: no descriptor.
int SystemKeyEventDescriptor() {
  return -1;
}

void TakeSystemKeyEvents() {}

void SystemKeyEventsCurrent() {}

}  // namespace talvi::os::detail
