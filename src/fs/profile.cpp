// SPDX-License-Identifier: MIT
#include "fs/profile.h"

#include <algorithm>

#include "fs/text_lines.h"

namespace talvi::fs {
namespace {

constexpr std::size_t kProfileBuffer = 4096;
constexpr std::size_t kSectionNamesBuffer = 65536;
constexpr std::size_t kLineWidth = 79;

}  // namespace

std::string GETPVPROFSTRING(const std::optional<std::string>& section,
                            const std::optional<std::string>& key,
                            const std::optional<std::string>& defaultValue,
                            const std::string& file) {
  return GetPrivateProfileString(section, key, defaultValue, kProfileBuffer, file);
}

bool WRITEPPROSTRING(const std::optional<std::string>& section,
                     const std::optional<std::string>& key, const std::optional<std::string>& value,
                     const std::string& file) {
  return WritePrivateProfileString(section, key, value, file);
}

int GETPRIVATEPROFILESECTIONNAMES(std::string& buffer, std::size_t size, const std::string& file) {
  size = std::min(size, buffer.size());
  const std::string names = GetPrivateProfileSectionNames(size, file);
  std::copy(names.begin(), names.end(), buffer.begin());
  // One zero byte ends the list; a list cut to size-2 ends with two.
  if (names.size() < size) buffer[names.size()] = '\0';
  if (size >= 2 && names.size() == size - 2) buffer[size - 1] = '\0';
  return static_cast<int>(names.size());
}

std::vector<std::string> GETPVPROFSECTION(const std::string& section, const std::string& file) {
  std::string keys = GETPVPROFSTRING(section, std::nullopt, "", file);
  std::string text;
  for (char c : keys) {
    if (c == '\0') {
      text += "\r\n";
    } else {
      text += c;
    }
  }
  return WrapLines(text, kLineWidth);
}

std::vector<std::string> GETPVPROFSECTIONNAMES(const std::string& file) {
  std::string buffer(kSectionNamesBuffer, ' ');
  GETPRIVATEPROFILESECTIONNAMES(buffer, kSectionNamesBuffer, file);
  std::vector<std::string> names;
  std::string_view rest = buffer;
  while (!rest.empty() && rest.front() != '\0') {
    const std::size_t nul = rest.find('\0');
    if (nul == std::string_view::npos) break;  // an unterminated remainder is no name
    names.emplace_back(rest.substr(0, nul));
    rest.remove_prefix(nul + 1);
  }
  return names;
}

}  // namespace talvi::fs
