// SPDX-License-Identifier: MIT
// File names: the configured letter case, default extensions, and companion
// files found whatever their letter case.
#pragma once

#include <string>
#include <string_view>

#include "dbf/settings.h"

namespace talvi::dbf {

// `path` with its last component cased as `mode` says.
std::string ApplyCase(std::string_view path, NameCase mode);
// `path` with `ext` (".DBF") added when its last component has no dot.
std::string WithDefaultExtension(std::string_view path, std::string_view ext);
// `path` with its extension replaced by `ext` (or `ext` added).
std::string ReplaceExtension(std::string_view path, std::string_view ext);
// The existing file whose name equals the last component of `path` apart
// from letter case, in the same folder: `path` itself when it exists,
// else the first such entry, else "" (on Windows the system already
// ignores letter case, so this is `path` or "").
std::string FindIgnoringCase(const std::string& path);

}  // namespace talvi::dbf
