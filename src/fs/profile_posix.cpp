// SPDX-License-Identifier: MIT
#include "fs/profile.h"
#include "fs/profile_file.h"
#include "os/path.h"

namespace talvi::fs {

std::string GetPrivateProfileString(const std::optional<std::string>& section,
                                    const std::optional<std::string>& key,
                                    const std::optional<std::string>& defaultValue,
                                    std::size_t size, const std::string& file) {
  return ReadProfileString(section, key, defaultValue, size, os::NativePath(file));
}

bool WritePrivateProfileString(const std::optional<std::string>& section,
                               const std::optional<std::string>& key,
                               const std::optional<std::string>& value, const std::string& file) {
  return WriteProfileString(section, key, value, os::NativePath(file));
}

std::string GetPrivateProfileSectionNames(std::size_t size, const std::string& file) {
  return ReadProfileString(std::nullopt, std::nullopt, std::nullopt, size, os::NativePath(file));
}

}  // namespace talvi::fs
