// SPDX-License-Identifier: MIT
// Settings and state of the X11 key probe (keystate_posix.cpp), for tests
// and benchmarks.
#pragma once

#include <chrono>

namespace talvi::os::detail {

// How often the whole keymap is asked for while key events are followed
// (default one second). Tests lengthen it to see the events alone at work.
void SetKeymapResyncInterval(std::chrono::milliseconds interval);
// How long a keymap asked for answers the probes where key events are not
// followed (default 10 ms). Where they are followed every probe reads the
// events that have arrived, whatever this says.
void SetKeymapCacheInterval(std::chrono::milliseconds interval);
// How long a key asked for again is answered from the events taken at its
// last probe, without reading the socket (default 1 ms); 0 reads every time.
void SetRepeatInterval(std::chrono::microseconds interval);
// Whether the probe follows the server's raw key events.
bool FollowsKeyEvents();

}  // namespace talvi::os::detail
