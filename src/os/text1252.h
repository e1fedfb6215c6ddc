// SPDX-License-Identifier: MIT
// Code page 1252 (the program's text) and UTF-8 (names on Linux, texts in
// windows), both ways.
#pragma once

#include <string>
#include <string_view>

namespace talvi::os {

// 1252 text as UTF-8. Every byte has a character: the five bytes that 1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls
// of the same value, so the way back gives the same bytes.
std::string Utf8From1252(std::string_view text);

// UTF-8 text in 1252. A character that 1252 cannot hold, and a byte that is
// not part of a well-formed UTF-8 sequence (overlong forms and surrogates
// included), becomes "?". Answers false when that happened, true when the
// text came across whole.
bool Utf8To1252(std::string_view utf8, std::string& out);

}  // namespace talvi::os
