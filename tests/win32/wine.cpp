// SPDX-License-Identifier: MIT
#include <windows.h>

#include "support/platform.h"

namespace talvi::testing {

bool UnderWine() {
  // Wine's ntdll exports its version; Windows' does not.
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace talvi::testing
