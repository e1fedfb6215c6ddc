// SPDX-License-Identifier: MIT
#include "os/text1252.h"

#include <array>

namespace talvi::os {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes that 1252 leaves
// undefined (they stand for the C1 control of the same value).
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t Decode1252(unsigned char b) {
  if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80u] != 0) return kHigh[b - 0x80u];
  return b;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    // 1252 holds nothing beyond the basic plane.
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The 1252 byte of a character; false when 1252 has none.
bool Encode1252(char32_t c, char& out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out = static_cast<char>(c);
    return true;
  }
  if (c >= 0x80 && c < 0xA0) {
    // Only the undefined bytes stand for their C1 control.
    out = static_cast<char>(c);
    return kHigh[c - 0x80] == 0;
  }
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string Utf8From1252(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char ch : text) AppendUtf8(out, Decode1252(static_cast<unsigned char>(ch)));
  return out;
}

bool Utf8To1252(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  bool whole = true;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    std::size_t extra = 0;
    char32_t c = b;
    char32_t least = 0;  // the smallest character of this length (no overlong forms)
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (b >= 0xC2 && b < 0xE0) {
      extra = 1;
      c = b & 0x1Fu;
      least = 0x80;
    } else if (b >= 0xE0 && b < 0xF0) {
      extra = 2;
      c = b & 0x0Fu;
      least = 0x800;
    } else if (b >= 0xF0 && b < 0xF5) {
      extra = 3;
      c = b & 0x07u;
      least = 0x10000;
    } else {
      out += '?';  // a continuation byte alone, or a byte UTF-8 never uses
      whole = false;
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k <= extra && i + k < utf8.size(); ++k) {
      const auto cb = static_cast<unsigned char>(utf8[i + k]);
      if ((cb & 0xC0u) != 0x80u) break;
      c = (c << 6) | (cb & 0x3Fu);
    }
    if (k <= extra) {
      // Cut short: the bytes read so far stand for one unknown character.
      out += '?';
      whole = false;
      i += k;
      continue;
    }
    i += extra + 1;
    char byte = '?';
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || !Encode1252(c, byte)) {
      out += '?';
      whole = false;
      continue;
    }
    out += byte;
  }
  return whole;
}

}  // namespace talvi::os
