// SPDX-License-Identifier: MIT
#include "lib/settings.h"

#include <utility>

#include "base/ascii.h"

namespace talvi::lib {
namespace {

using base::AsciiLower;
using base::AsciiUpper;

}  // namespace

std::optional<FileCase> ParseFileCase(std::string_view word) {
  const std::string upper = AsciiUpper(word);
  if (upper == "UPPER") return FileCase::kUpper;
  if (upper == "LOWER") return FileCase::kLower;
  if (upper == "MIXED") return FileCase::kMixed;
  return std::nullopt;
}

void Settings::ApplyDefaults() {
  driver_ = "DBFCDX";
  lockScheme_ = kExtendedLockScheme;
  lockOffset_ = kExtendedLockOffset;
  lockLength_ = kExtendedLockLength;
  memoExtension_ = ".DBT";
  century_ = true;
  confirm_ = true;
  dateFormat_ = century_ ? "dd/mm/yyyy" : "dd/mm/yy";
  deleted_ = true;
  epoch_ = 1980;
  fileCase_ = FileCase::kUpper;
  margin_ = 5;
  if (changed_) changed_(*this);
}

void Settings::SetFileNameCase(FileCase mode) {
  fileCase_ = mode;
  if (changed_) changed_(*this);
}

void Settings::SetChangeHook(std::function<void(const Settings&)> hook) {
  changed_ = std::move(hook);
}

std::string Settings::ApplyFileCase(std::string_view path) const {
  const std::size_t cut = path.find_last_of("/\\") + 1;  // 0 when there is no folder
  const std::string_view folder = path.substr(0, cut), name = path.substr(cut);
  switch (fileCase_) {
    case FileCase::kUpper: return std::string(folder) + AsciiUpper(name);
    case FileCase::kLower: return std::string(folder) + AsciiLower(name);
    case FileCase::kMixed: break;
  }
  return std::string(path);
}

Settings& LibSettings() {
  static Settings settings;
  return settings;
}

}  // namespace talvi::lib
