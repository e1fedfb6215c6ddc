// SPDX-License-Identifier: MIT
// ASCII letter case, comparison and blank trimming for byte strings. Only
// the 26 Latin letters have a case here: every other byte, the accented
// letters of code page 1252 included, is left as it is, as the system's
// own name and keyword comparisons do.
#pragma once

#include <string>
#include <string_view>

namespace talvi::base {

constexpr bool IsAsciiUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
constexpr bool IsAsciiLower(char c) {
  return c >= 'a' && c <= 'z';
}
constexpr bool IsAsciiLetter(char c) {
  return IsAsciiUpper(c) || IsAsciiLower(c);
}
constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr char AsciiUpper(char c) {
  return IsAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLower(char c) {
  return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// Equal but for the case of ASCII letters.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// `text` without the bytes of `blanks` at its end, start, or both.
constexpr std::string_view TrimRight(std::string_view text, std::string_view blanks = " ") {
  while (!text.empty() && blanks.find(text.back()) != std::string_view::npos) text.remove_suffix(1);
  return text;
}

constexpr std::string_view TrimLeft(std::string_view text, std::string_view blanks = " ") {
  while (!text.empty() && blanks.find(text.front()) != std::string_view::npos)
    text.remove_prefix(1);
  return text;
}

constexpr std::string_view Trim(std::string_view text, std::string_view blanks = " ") {
  return TrimRight(TrimLeft(text, blanks), blanks);
}

}  // namespace talvi::base
