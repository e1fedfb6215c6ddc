// SPDX-License-Identifier: MIT
// Windows: a system error number is its own OS code.
#include <windows.h>

#include "os/os_code.h"

namespace talvi::os {

int OsCodeOf(int systemError) {
  return systemError;
}

int LastOsCode() {
  return static_cast<int>(GetLastError());
}

}  // namespace talvi::os
