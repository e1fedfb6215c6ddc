// SPDX-License-Identifier: MIT
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
// included, come in name order without regard to case; the names in the
// records are the program's form (ProgramPath: a character that 1252 cannot
// hold reads "?"), and a symbolic link is an entry of its own, not
// followed (its reparse-point bit set, see attributes.h).
FindHandle FindFirstEntry(const std::string& pattern, FindData& out);
// The next match; false at the end or for an unknown handle.
bool FindNextEntry(FindHandle handle, FindData& out);
// Ends a search; false for an unknown handle.
bool FindCloseSearch(FindHandle handle);

}  // namespace talvi::os
