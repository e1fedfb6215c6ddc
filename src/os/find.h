// Directory searches with the system's wildcard rules, one record per entry.
#pragma once

#include <cstdint>
#include <string>

#include "os/find_data.h"

namespace talvi::os {

using FindHandle = std::intptr_t;
inline constexpr FindHandle kInvalidFind = -1;

// Starts a search for a native pattern ("dir/*.txt"; a pattern without a
// folder searches the current one) and fills `out` with the first match.
// kInvalidFind when nothing matches. On Linux the entries, "." and ".."
// included, come in name order without regard to case.
FindHandle FindFirstEntry(const std::string& pattern, FindData& out);
// The next match; false at the end or for an unknown handle.
bool FindNextEntry(FindHandle handle, FindData& out);
// Ends a search; false for an unknown handle.
bool FindCloseSearch(FindHandle handle);

}  // namespace talvi::os
