// SPDX-License-Identifier: MIT
#include <windows.h>

#include <vector>

#include "os/path.h"

namespace talvi::os {

std::string NetworkFolder() {
  return "C:\\ORVA\\NET";
}

std::string NativePath(std::string_view path) {
  return std::string(path);
}

std::string ProgramPath(std::string_view native) {
  return std::string(native);
}

bool ProgramCanHold(std::string_view /*native*/) {
  return true;
}

std::size_t FullPathName(std::string_view path, std::size_t size, std::string& out) {
  const std::string p(path);
  std::vector<char> buf(size + 1, '\0');
  const DWORD cap = size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size);
  const DWORD n = GetFullPathNameA(p.c_str(), cap, buf.data(), nullptr);
  if (n > 0 && n < cap) out.assign(buf.data(), n);
  return n;
}

std::string CurrentDrive() {
  char buf[MAX_PATH + 1] = {};
  const DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  if (n >= 2 && n < sizeof buf && buf[1] == ':') return std::string(buf, 2);
  return "\\";
}

char PathSeparator() {
  return '\\';
}

}  // namespace talvi::os
