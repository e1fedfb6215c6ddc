// SPDX-License-Identifier: MIT
#include "lib/startup_files.h"

#include <cstdlib>

#include "os/attributes.h"
#include "os/files.h"
#include "os/find.h"
#include "os/find_data.h"
#include "os/path.h"

namespace talvi::lib::startup_files {

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  os::FindData data;
  const os::FindHandle find = os::FindFirstEntry(os::NativePath(Join(folder, "*")), data);
  if (find == os::kInvalidFind) return entries;
  do {
    if (data.name == "." || data.name == "..") continue;
    const std::uint32_t a = data.attributes;
    entries.push_back({data.name, (a & os::kAttrDirectory) != 0, (a & os::kAttrReadOnly) != 0,
                       (a & os::kAttrHidden) != 0, (a & os::kAttrSystem) != 0});
  } while (os::FindNextEntry(find, data));
  os::FindCloseSearch(find);
  return entries;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == Separator() || last == '/') return folder + name;
  return folder + Separator() + name;
}

bool EraseFile(const std::string& path) {
  return os::DeletePlainFile(os::NativePath(path));
}

bool RemoveFolder(const std::string& path) {
  return os::RemoveEmptyDirectory(os::NativePath(path));
}

bool PathExists(const std::string& path) {
  return os::ReadAttributes(os::NativePath(path)) >= 0;
}

bool IsLink(const std::string& path) {
  return os::IsLink(os::NativePath(path));
}

void ClearReadOnlyAndHidden(const std::string& path) {
  const std::string native = os::NativePath(path);
  const std::int64_t bits = os::ReadAttributes(native);
  if (bits < 0) return;
  const auto current = static_cast<std::uint32_t>(bits);
  const std::uint32_t cleared = current & ~(os::kAttrReadOnly | os::kAttrHidden);
  if (cleared != current) os::WriteAttributes(native, cleared);
}

std::string TempVariable() {
  const char* value = std::getenv("TEMP");
  return value == nullptr ? std::string() : os::ProgramPath(value);
}

char Separator() {
  return os::PathSeparator();
}

}  // namespace talvi::lib::startup_files
