// SPDX-License-Identifier: MIT
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "os/find.h"

namespace talvi::os {
namespace {

static_assert(sizeof(WIN32_FIND_DATAA) >= kFindDataSize);
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == kFindNameOffset);
static_assert(offsetof(WIN32_FIND_DATAA, cAlternateFileName) == kFindShortNameOffset);

FindData FromSystem(const WIN32_FIND_DATAA& w) {
  std::string bytes(kFindDataSize, '\0');
  std::memcpy(bytes.data(), &w, kFindDataSize);
  return DecodeFindData(bytes);
}

}  // namespace

FindHandle FindFirstEntry(const std::string& pattern, FindData& out) {
  WIN32_FIND_DATAA w{};
  HANDLE h = FindFirstFileA(pattern.c_str(), &w);
  if (h == INVALID_HANDLE_VALUE) return kInvalidFind;
  out = FromSystem(w);
  return reinterpret_cast<FindHandle>(h);
}

bool FindNextEntry(FindHandle handle, FindData& out) {
  WIN32_FIND_DATAA w{};
  if (FindNextFileA(reinterpret_cast<HANDLE>(handle), &w) == 0) return false;
  out = FromSystem(w);
  return true;
}

bool FindCloseSearch(FindHandle handle) {
  return FindClose(reinterpret_cast<HANDLE>(handle)) != 0;
}

}  // namespace talvi::os
