// SPDX-License-Identifier: MIT
#include "dbf/names.h"

#include <cctype>
#include <filesystem>
#include <system_error>

namespace talvi::dbf {
namespace {

std::size_t NameStart(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? 0 : slash + 1;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ApplyCase(std::string_view path, NameCase mode) {
  std::string out(path);
  if (mode == NameCase::kMixed) return out;
  for (std::size_t i = NameStart(path); i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    out[i] = static_cast<char>(mode == NameCase::kUpper ? std::toupper(c) : std::tolower(c));
  }
  return out;
}

std::string WithDefaultExtension(std::string_view path, std::string_view ext) {
  std::string out(path);
  if (out.find('.', NameStart(path)) == std::string::npos) out += ext;
  return out;
}

std::string ReplaceExtension(std::string_view path, std::string_view ext) {
  const std::size_t start = NameStart(path);
  const std::size_t dot = path.rfind('.');
  std::string out(path.substr(0, dot == std::string_view::npos || dot < start ? path.size() : dot));
  out += ext;
  return out;
}

std::string FindIgnoringCase(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(fs::path(path), ec)) return path;
  const std::size_t start = NameStart(path);
  const std::string folder = start == 0 ? std::string(".") : path.substr(0, start);
  const std::string name = path.substr(start);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (EqualNoCase(entry, name)) return path.substr(0, start) + entry;
  }
  return "";
}

}  // namespace talvi::dbf
