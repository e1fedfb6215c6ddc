// SPDX-License-Identifier: MIT
#include "lib/numfmt.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace talvi::lib {
namespace {

constexpr int kMaxDigitPlaces = 15;
constexpr int kStandardWidth = 10;
constexpr std::uint64_t kUnitsLimit = 1'000'000'000'000'000'000ULL;  // 10^18

enum class Rounding { kHalfAwayFromZero, kTruncate };

struct Scaled {
  std::uint64_t units = 0;  // |number| * 10^decimals, rounded
  bool negative = false;    // the number is below zero and units is not 0
};

// |number| * 10^decimals as a whole number, worked out on the shortest
// decimal text that reads back as the same double: 1.005 is "1.005e+00", so
// it rounds to 101 hundredths as a reader expects, although the double
// itself lies just below 1.005. Empty for infinities, NaN and values of
// 10^18 units or more.
std::optional<Scaled> ScaleDecimal(double number, int decimals, Rounding rounding) {
  if (!std::isfinite(number)) return std::nullopt;
  std::array<char, 64> text{};
  const auto [end, error] =
      std::to_chars(text.data(), text.data() + text.size(), number, std::chars_format::scientific);
  if (error != std::errc()) return std::nullopt;
  std::string_view rest(text.data(), static_cast<std::size_t>(end - text.data()));

  Scaled result;
  const bool minus = !rest.empty() && rest.front() == '-';
  if (minus) rest.remove_prefix(1);
  const std::size_t e_pos = rest.find('e');
  if (e_pos == std::string_view::npos) return std::nullopt;
  std::string digits;
  for (char c : rest.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  std::string_view exponent_text = rest.substr(e_pos + 1);
  if (!exponent_text.empty() && exponent_text.front() == '+') exponent_text.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

  // The value is digits * 10^shift units.
  const int length = static_cast<int>(digits.size());
  const int shift = exponent - (length - 1) + decimals;
  const int kept = length + shift;  // digits left of the units' point
  if (kept > 18) return std::nullopt;
  std::uint64_t units = 0;
  for (int i = 0; i < std::min(kept, length); ++i) {
    units = units * 10 + static_cast<std::uint64_t>(digits[static_cast<std::size_t>(i)] - '0');
  }
  for (int i = length; i < kept; ++i) units *= 10;
  if (rounding == Rounding::kHalfAwayFromZero && kept >= 0 && kept < length &&
      digits[static_cast<std::size_t>(kept)] >= '5') {
    ++units;
  }
  if (units >= kUnitsLimit) return std::nullopt;
  result.units = units;
  result.negative = minus && units != 0;
  return result;
}

struct Style {
  int decimals = 0;
  bool zero_blank = false;
  bool sign_behind = false;
};

std::string Grouped(std::uint64_t whole) {
  std::string digits = std::to_string(whole);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return out;
}

// Renders `number` into the layout of `places` integer digit places.
std::string Render(double number, int places, Style style) {
  const std::size_t layout_width = static_cast<std::size_t>(
      places + (places - 1) / 3 + (style.decimals > 0 ? style.decimals + 1 : 0));
  const std::size_t field_width = layout_width + (style.sign_behind ? 1 : 0);
  const std::string overflow(field_width, '*');

  const std::optional<Scaled> scaled =
      ScaleDecimal(number, style.decimals, Rounding::kHalfAwayFromZero);
  if (!scaled) return overflow;
  if (scaled->units == 0 && style.zero_blank) return std::string(field_width, ' ');

  std::uint64_t scale = 1;
  for (int i = 0; i < style.decimals; ++i) scale *= 10;
  const std::uint64_t whole = scaled->units / scale;
  if (std::to_string(whole).size() > static_cast<std::size_t>(places)) return overflow;

  std::string body = Grouped(whole);
  if (style.decimals > 0) {
    std::string fraction = std::to_string(scaled->units % scale);
    fraction.insert(0, static_cast<std::size_t>(style.decimals) - fraction.size(), '0');
    body += ',' + fraction;
  }
  if (scaled->negative && !style.sign_behind) body.insert(0, 1, '-');
  // A sign in front needs a free place of the layout.
  if (body.size() > layout_width) return overflow;
  body.insert(0, layout_width - body.size(), ' ');
  if (style.sign_behind) body += scaled->negative ? '-' : ' ';
  return body;
}

// Width of a field whose width is not given: the standard numeric width for
// ordinary numbers, else the length of the plain integer part; for the forms
// with decimals two more places, except where the standard width applies.
int DefaultWidth(double number, bool with_decimals) {
  int width = kStandardWidth;
  if (const std::optional<Scaled> whole = ScaleDecimal(number, 0, Rounding::kTruncate)) {
    const int plain =
        static_cast<int>(std::to_string(whole->units).size()) + (whole->negative ? 1 : 0);
    width = std::max(plain, kStandardWidth);
  }
  // The run-time renders the largest values 20 wide; that width counts as
  // the standard one.
  if (width == 20) width = kStandardWidth;
  if (with_decimals && width != kStandardWidth) width += 2;
  return width;
}

// Integer digit places for a field of `width`, brought into 1 to 15.
int Places(double number, std::optional<int> width, int decimals) {
  const int field = width ? std::clamp(*width, -kMaxDigitPlaces, 2 * kMaxDigitPlaces)
                          : DefaultWidth(number, decimals > 0);
  return std::clamp(field - (decimals > 0 ? 2 : 0), 1, kMaxDigitPlaces);
}

}  // namespace

std::string NSTR(double number, std::optional<int> width) {
  return Render(number, Places(number, width, 0), Style{});
}

std::string ZSTR(double number, std::optional<int> width) {
  return Render(number, Places(number, width, 0), Style{.zero_blank = true});
}

std::string SSTR(double number, std::optional<int> width, bool showZero) {
  return Render(number, Places(number, width, 0),
                Style{.zero_blank = !showZero, .sign_behind = true});
}

std::string ENSTR(double number, std::optional<int> width) {
  return Render(number, Places(number, width, 2), Style{.decimals = 2});
}

std::string EZSTR(double number, std::optional<int> width) {
  return Render(number, Places(number, width, 2), Style{.decimals = 2, .zero_blank = true});
}

std::string ESSTR(double number, std::optional<int> width, bool showZero) {
  return Render(number, Places(number, width, 2),
                Style{.decimals = 2, .zero_blank = !showZero, .sign_behind = true});
}

}  // namespace talvi::lib
