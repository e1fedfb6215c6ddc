// SPDX-License-Identifier: MIT
// The key probe of the library.
#pragma once

namespace talvi::lib {

// True while the key with the virtual-key code `vk` is down at the moment
// of the call, whether or not the program's windows have the focus (27 Esc,
// 115 F4). Tests hold keys with talvi::os::SetKeyStateOverride(vk, true)
// from "os/keystate.h" and release them with ClearKeyStateOverrides().
bool GETASYNCKEYSTATE(int vk);

}  // namespace talvi::lib
