// SPDX-License-Identifier: MIT
// The system's own view of the keyboard, one implementation per system.
// Called by the key-state probe with its lock held.
#pragma once

#include <optional>

namespace talvi::os::detail {

// Whether key `vk` is down as the system sees it, whichever window has the
// focus; nullopt when the system cannot tell (no X server to ask).
std::optional<bool> SystemKeyDown(int vk);
// The descriptor that key events make readable, -1 when there is none
// (see KeyEventDescriptor), and the taking of what arrived on it.
int SystemKeyEventDescriptor();
void TakeSystemKeyEvents();
// A wait that included that descriptor has just ended (KeyEventsCurrent).
void SystemKeyEventsCurrent();

}  // namespace talvi::os::detail
