// Windows-1252 <-> UTF-8, used wherever a program text meets a window.
#include <array>
#include <cstdint>
#include <string>

#include "ui/ui.h"

namespace talvi::ui {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes that 1252 leaves
// undefined (they pass through as the C1 control of the same value).
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
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char Encode1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  }
  // The undefined bytes come back as themselves.
  if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] == 0) return static_cast<char>(c);
  return '?';
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (char ch : ansi) AppendUtf8(out, Decode1252(static_cast<unsigned char>(ch)));
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    char32_t c = b;
    if (b >= 0xF0 && b < 0xF8) {
      extra = 3;
      c = b & 0x07u;
    } else if (b >= 0xE0) {
      extra = 2;
      c = b & 0x0Fu;
    } else if (b >= 0xC0) {
      extra = 1;
      c = b & 0x1Fu;
    } else if (b >= 0x80) {
      out += '?';  // stray continuation byte
      ++i;
      continue;
    }
    if (i + static_cast<std::size_t>(extra) >= utf8.size()) {
      out += '?';  // truncated sequence
      break;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto cb = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      if ((cb & 0xC0u) != 0x80u) {
        ok = false;
        break;
      }
      c = (c << 6) | (cb & 0x3Fu);
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    out += Encode1252(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

}  // namespace talvi::ui
