// SPDX-License-Identifier: MIT
#include "lib/entry_number.h"

#include <charconv>
#include <limits>

namespace talvi::lib {

std::optional<double> ReadEntryNumber(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != ',') kept += c;
  }
  if (kept.empty()) return 0.0;
  std::size_t start = 0;
  const bool negative = kept[0] == '-';
  if (kept[0] == '-' || kept[0] == '+') start = 1;
  bool point = false;
  bool digit = false;
  for (std::size_t i = start; i < kept.size(); ++i) {
    if (kept[i] >= '0' && kept[i] <= '9') {
      digit = true;
    } else if (kept[i] == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  double value = 0;
  const char* first = kept.data() + start;
  const char* last = kept.data() + kept.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (error == std::errc::result_out_of_range) {
    // Too large when a significant digit stands before the point, else too
    // small to tell from zero.
    const std::string_view whole(first, static_cast<std::size_t>(last - first));
    const std::string_view integer = whole.substr(0, whole.find('.'));
    value = integer.find_first_not_of('0') != std::string_view::npos
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  } else if (error != std::errc() || end != last) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::string EntryText(double value, int decimals) {
  char text[400];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return {};
  return std::string(text, end);
}

}  // namespace talvi::lib
