// SPDX-License-Identifier: MIT
// Splitting a text into display lines of a fixed width.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvi::fs {

// Splits at CR LF (a final CR LF ends the last line, it starts no new one);
// a line longer than `width` breaks after its last blank within the first
// `width` characters, or at `width` characters when it has none there.
// Trailing blanks are removed from every line.
std::vector<std::string> WrapLines(std::string_view text, std::size_t width);

}  // namespace talvi::fs
