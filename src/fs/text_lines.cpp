// SPDX-License-Identifier: MIT
#include "fs/text_lines.h"

#include "base/ascii.h"

namespace talvi::fs {
namespace {

std::string TrimRight(std::string_view s) {
  return std::string(base::TrimRight(s, " \t"));
}

void WrapOne(std::string_view line, std::size_t width, std::vector<std::string>& out) {
  while (line.size() > width) {
    const std::size_t blank = line.substr(0, width).find_last_of(' ');
    if (blank != std::string_view::npos && blank > 0) {
      out.push_back(TrimRight(line.substr(0, blank)));
      line.remove_prefix(blank + 1);
    } else {
      out.push_back(TrimRight(line.substr(0, width)));
      line.remove_prefix(width);
    }
  }
  out.push_back(TrimRight(line));
}

}  // namespace

std::vector<std::string> WrapLines(std::string_view text, std::size_t width) {
  std::vector<std::string> out;
  if (width == 0) return out;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) {
      WrapOne(text, width, out);
      break;
    }
    WrapOne(text.substr(0, end), width, out);
    text.remove_prefix(end + 2);
  }
  return out;
}

}  // namespace talvi::fs
