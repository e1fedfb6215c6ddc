// SPDX-License-Identifier: MIT
#include <windows.h>

#include "os/temp.h"

namespace talvi::os {

std::string TempFolder() {
  char buf[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof buf, buf);
  std::string folder = (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace talvi::os
