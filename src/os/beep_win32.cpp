// SPDX-License-Identifier: MIT
// The tone on Windows.
#include <windows.h>

#include "os/beep.h"

namespace talvi::os {

void Beep(unsigned hz, unsigned ms) {
  ::Beep(hz, ms);
}

}  // namespace talvi::os
