// SPDX-License-Identifier: MIT
// Whole-file replacement that never leaves a half-written file behind.
#pragma once

#include <string>
#include <string_view>

namespace talvi::os {

// Writes `bytes` to a new file beside `path` and renames it over `path`.
// An existing file keeps its permission bits, its hidden and system bits
// (and owner, where allowed); a read-only file is refused, as Windows does;
// when anything fails the old file is left whole and the result is false.
// `path` is a native path (see NativePath); a symbolic link is followed so
// that the file it names is replaced, not the link.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace talvi::os
