// SPDX-License-Identifier: MIT
// File-name patterns as the system's directory search reads them.
#pragma once

#include <string_view>

namespace talvi::os {

// True when `name` matches `pattern`, letters compared without regard to
// case (ASCII and the accented letters of code page 1252). The rules are
// those of the Windows directory search:
// - "*" matches any run of characters, dots included ("*.*" matches every
//   name, also one without a dot); a "*" directly before a "." matches any
//   run that does not contain the name's last dot.
// - "?" matches one character, but matches nothing at a "." or at the end
//   of the name (so "a?.txt" matches "a.txt", "????" matches "ab").
// - a "." that ends the pattern or comes before "?" or "*" matches a dot,
//   or nothing at the end of the name ("*." matches names without a dot).
// Short 8.3 names are not considered.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// True when the pattern holds "*" or "?".
bool HasWildcards(std::string_view pattern);

}  // namespace talvi::os
