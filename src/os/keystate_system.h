// The system's own view of the keyboard, one implementation per system.
// Called by the key-state probe with its lock held.
#pragma once

#include <chrono>
#include <optional>

namespace talvi::os::detail {

// Whether key `vk` is down as the system sees it, whichever window has the
// focus; nullopt when the system cannot tell (no X server to ask).
std::optional<bool> SystemKeyDown(int vk);

#ifndef _WIN32
// X11: how often the whole keymap is asked for while key events are
// followed (default one second). Tests lengthen it to see the events alone
// at work.
void SetKeymapResyncInterval(std::chrono::milliseconds interval);
// X11: whether the probe follows the server's raw key events.
bool FollowsKeyEvents();
#endif

}  // namespace talvi::os::detail
