// SPDX-License-Identifier: MIT
// The library's key probe.
#include "lib/keys.h"

#include "os/keystate.h"

namespace talvi::lib {

bool GETASYNCKEYSTATE(int vk) {
  return os::IsKeyDown(vk);
}

}  // namespace talvi::lib
