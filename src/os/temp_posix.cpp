// SPDX-License-Identifier: MIT
#include <cstdlib>

#include "os/temp.h"

namespace talvi::os {

std::string TempFolder() {
  for (const char* name : {"TEMP", "TMP", "TMPDIR"}) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') continue;
    std::string folder = v;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  return "/tmp";
}

}  // namespace talvi::os
