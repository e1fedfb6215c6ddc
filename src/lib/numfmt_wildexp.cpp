// Expansion of file masks into file names, with the wildcard rules of the
// Windows file search.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "lib/numfmt.h"

namespace talvi::lib {
namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "*" takes any run of characters, "?" exactly one; letters match either case.
bool Matches(std::string_view mask, std::string_view name) {
  std::size_t m = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;  // mask place after the last "*"
  std::size_t star_name = 0;                  // name place that "*" reached
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == '*') {
      star = ++m;
      star_name = n;
    } else if (star != std::string_view::npos) {
      m = star;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// A name without a dot has an empty extension: "NAME.*" matches "NAME", and
// "NAME." matches only names without an extension.
bool MatchesFileMask(std::string_view mask, std::string_view name) {
  if (Matches(mask, name)) return true;
  const bool has_dot = name.find('.') != std::string_view::npos;
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
    return !has_dot && Matches(mask.substr(0, mask.size() - 2), name);
  }
  if (!mask.empty() && mask.back() == '.') {
    return !has_dot && Matches(mask.substr(0, mask.size() - 1), name);
  }
  return false;
}

void AppendMatches(std::string_view mask_path, std::vector<std::string>& names) {
  const std::size_t cut = mask_path.find_last_of("/\\");
  std::string folder = cut == std::string_view::npos ? "." : std::string(mask_path.substr(0, cut));
  if (folder.empty()) folder = "/";
  std::replace(folder.begin(), folder.end(), '\\',
               static_cast<char>(std::filesystem::path::preferred_separator));
  const std::string_view mask =
      cut == std::string_view::npos ? mask_path : mask_path.substr(cut + 1);
  if (mask.empty()) return;

  std::vector<std::string> found;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::error_code kind_error;
    if (!it->is_regular_file(kind_error)) continue;
    std::string name = it->path().filename().string();
    if (MatchesFileMask(mask, name)) found.push_back(std::move(name));
  }
  std::sort(found.begin(), found.end());
  names.insert(names.end(), found.begin(), found.end());
}

}  // namespace

std::vector<std::string> WILDEXP(const std::vector<std::string>& masks) {
  std::vector<std::string> names;
  for (const std::string& mask : masks) AppendMatches(mask, names);
  return names;
}

}  // namespace talvi::lib
