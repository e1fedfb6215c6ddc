// SPDX-License-Identifier: MIT
#include <windows.h>

#include "os/attributes.h"

namespace talvi::os {

std::int64_t ReadAttributes(const std::string& path) {
  const DWORD bits = GetFileAttributesA(path.c_str());
  if (bits == INVALID_FILE_ATTRIBUTES) return -1;
  return static_cast<std::int64_t>(bits);
}

bool IsLink(const std::string& path) {
  const DWORD bits = GetFileAttributesA(path.c_str());
  if (bits == INVALID_FILE_ATTRIBUTES || (bits & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  // The reparse tag comes with the entry's find data.
  WIN32_FIND_DATAA w{};
  HANDLE h = FindFirstFileA(path.c_str(), &w);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return IsLinkEntry(w.dwFileAttributes, w.dwReserved0);
}

bool WriteAttributes(const std::string& path, std::uint32_t bits) {
  return SetFileAttributesA(path.c_str(), bits) != 0;
}

}  // namespace talvi::os
