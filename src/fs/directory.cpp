// SPDX-License-Identifier: MIT
#include "fs/directory.h"

#include "os/attributes.h"
#include "os/find.h"
#include "os/path.h"

namespace talvi::fs {
namespace {

bool Has(const std::string& filter, char letter) {
  for (char c : filter) {
    if (c == letter || c == letter + ('a' - 'A')) return true;
  }
  return false;
}

std::string Letters(std::uint32_t a) {
  std::string s;
  if ((a & os::kAttrReadOnly) != 0) s += 'R';
  if ((a & os::kAttrHidden) != 0) s += 'H';
  if ((a & os::kAttrSystem) != 0) s += 'S';
  if ((a & os::kAttrDirectory) != 0) s += 'D';
  if ((a & os::kAttrArchive) != 0) s += 'A';
  return s;
}

}  // namespace

std::vector<DirEntry> ListDirectory(const std::string& pattern, const std::string& filter) {
  std::uint32_t allowed = os::kAttrReadOnly | os::kAttrArchive | os::kAttrNormal;
  if (Has(filter, 'H')) allowed |= os::kAttrHidden;
  if (Has(filter, 'S')) allowed |= os::kAttrSystem;
  if (Has(filter, 'D')) allowed |= os::kAttrDirectory;
  // Bits that neither exclude nor include (compressed, indexed and the like).
  constexpr std::uint32_t kDeciding = os::kAttrHidden | os::kAttrSystem | os::kAttrDirectory;

  std::vector<DirEntry> entries;
  os::FindData data;
  const os::FindHandle h = os::FindFirstEntry(os::NativePath(pattern), data);
  if (h == os::kInvalidFind) return entries;
  do {
    if ((data.attributes & kDeciding & ~allowed) != 0) continue;
    entries.push_back({data.name, data.size, data.write_time, Letters(data.attributes),
                       os::IsLinkEntry(data.attributes, data.reserved0)});
  } while (os::FindNextEntry(h, data));
  os::FindCloseSearch(h);
  return entries;
}

}  // namespace talvi::fs
