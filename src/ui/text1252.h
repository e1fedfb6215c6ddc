// SPDX-License-Identifier: MIT
// Text conversion at the window boundary.
#pragma once

#include <string>

namespace talvi::ui {

// Text conversion at the window boundary (Windows-1252 <-> UTF-8).
std::string AnsiToUtf8(const std::string& ansi);
// Characters outside 1252 become "?".
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace talvi::ui
