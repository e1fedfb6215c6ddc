// SPDX-License-Identifier: MIT
#include <windows.h>
// The system headers name these calls as macros; ours are plain functions.
#undef GetPrivateProfileString
#undef WritePrivateProfileString
#undef GetPrivateProfileSectionNames

#include <vector>

#include "fs/ini_text.h"
#include "fs/profile.h"

namespace talvi::fs {
namespace {

const char* OrNull(const std::optional<std::string>& s) {
  return s ? s->c_str() : nullptr;
}

DWORD Clamp(std::size_t size) {
  return size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size);
}

}  // namespace

std::string GetPrivateProfileString(const std::optional<std::string>& section,
                                    const std::optional<std::string>& key,
                                    const std::optional<std::string>& defaultValue,
                                    std::size_t size, const std::string& file) {
  if (size == 0) return {};
  std::vector<char> buffer(Clamp(size) + 1u, '\0');
  const DWORD n = GetPrivateProfileStringA(OrNull(section), OrNull(key),
                                           defaultValue ? defaultValue->c_str() : "", buffer.data(),
                                           Clamp(size), file.c_str());
  return std::string(buffer.data(), n);
}

bool WritePrivateProfileString(const std::optional<std::string>& section,
                               const std::optional<std::string>& key,
                               const std::optional<std::string>& value, const std::string& file) {
  if (section && !IsStorableEntry(*section, key ? &*key : nullptr, value ? &*value : nullptr)) {
    return false;
  }
  return WritePrivateProfileStringA(OrNull(section), OrNull(key), OrNull(value), file.c_str()) != 0;
}

std::string GetPrivateProfileSectionNames(std::size_t size, const std::string& file) {
  if (size == 0) return {};
  std::vector<char> buffer(Clamp(size) + 1u, '\0');
  const DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), Clamp(size), file.c_str());
  return std::string(buffer.data(), n);
}

}  // namespace talvi::fs
