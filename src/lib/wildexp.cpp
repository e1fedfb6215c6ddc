// SPDX-License-Identifier: MIT
// Expansion of file masks into file names through the system's directory
// search, so that masks follow its wildcard rules and names come in its
// order.
#include "lib/wildexp.h"

#include "os/attributes.h"
#include "os/find.h"
#include "os/path.h"

namespace talvi::lib {
namespace {

void AppendMatches(const std::string& mask, std::vector<std::string>& names) {
  os::FindData entry;
  const os::FindHandle search = os::FindFirstEntry(os::NativePath(mask), entry);
  if (search == os::kInvalidFind) return;
  do {
    // Every file counts, read-only, hidden and system ones included; folders
    // ("." and ".." among them) do not.
    if ((entry.attributes & os::kAttrDirectory) == 0) names.push_back(entry.name);
  } while (os::FindNextEntry(search, entry));
  os::FindCloseSearch(search);
}

}  // namespace

std::vector<std::string> WILDEXP(const std::vector<std::string>& masks) {
  std::vector<std::string> names;
  for (const std::string& mask : masks) AppendMatches(mask, names);
  return names;
}

}  // namespace talvi::lib
