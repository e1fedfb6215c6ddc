// SPDX-License-Identifier: MIT
// Expansion of file masks into the names of the files that match them.
#pragma once

#include <string>
#include <vector>

namespace talvi::lib {

// For each file mask in order ("*.DBF", "C:\\DATI\\A?.TXT", ...), the names,
// without folder, of the files that match it, read-only, hidden and system
// files included, folders not; a name matching two masks appears twice.
// Masks follow the system's wildcard rules and names within one mask come
// in the order of its directory search (on Linux: by name, without regard
// to case).
std::vector<std::string> WILDEXP(const std::vector<std::string>& masks);

}  // namespace talvi::lib
