// SPDX-License-Identifier: MIT
// The program's own path and the desktop's default handler on Windows.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>
#include <vector>

#include "errors/errorsys.h"

namespace talvi::errors {

std::string ProgramPath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

void OpenWithDefaultHandler(const std::string& link) {
  // No owner, the default verb, no parameters or folder, a normal window;
  // the result is of no interest.
  ShellExecuteA(nullptr, nullptr, link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace talvi::errors
