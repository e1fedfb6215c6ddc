// SPDX-License-Identifier: MIT
#include "lib/validators.h"

#include <array>
#include <cstddef>

#include "base/ascii.h"

namespace talvi::lib {
namespace {

// Letters are the 26 of the Latin alphabet; accented letters and every other
// byte of the code page are not.
constexpr auto IsDigit = base::IsAsciiDigit;
constexpr auto IsUpper = base::IsAsciiUpper;
constexpr auto IsLower = base::IsAsciiLower;
constexpr auto IsLetter = base::IsAsciiLetter;
constexpr char ToUpper(char c) {
  return base::AsciiUpper(c);
}
constexpr std::string_view TrimRight(std::string_view text) {
  return base::TrimRight(text);
}
constexpr std::string_view Trim(std::string_view text) {
  return base::Trim(text);
}

int DigitValue(char c) {
  return c - '0';
}

// Reads two decimal digits at `pos`; -1 when either is not a digit.
int TwoDigits(std::string_view text, std::size_t pos) {
  if (!IsDigit(text[pos]) || !IsDigit(text[pos + 1])) return -1;
  return DigitValue(text[pos]) * 10 + DigitValue(text[pos + 1]);
}

}  // namespace

bool ISIBAN(std::string_view text) {
  text = Trim(text);
  if (text.size() != 27) return false;
  if (!IsUpper(text[0]) || !IsUpper(text[1]) || !IsDigit(text[2]) || !IsDigit(text[3])) {
    return false;
  }
  // The country and check digits move to the end; each letter stands for
  // the two digits of its value 10 ("A") to 35 ("Z"). The remainder modulo
  // 97 is carried digit by digit, which gives the same result as reducing
  // the digit string in pieces.
  int remainder = 0;
  auto add_digit = [&remainder](int digit) { remainder = (remainder * 10 + digit) % 97; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[(i + 4) % text.size()];
    if (IsDigit(c)) {
      add_digit(DigitValue(c));
    } else if (IsUpper(c)) {
      const int value = c - 'A' + 10;
      add_digit(value / 10);
      add_digit(value % 10);
    } else {
      return false;
    }
  }
  return remainder == 1;
}

bool ISIVA(std::string_view text) {
  text = TrimRight(text);
  if (text.size() != 11 || text == "00000000000") return false;
  int sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    if (i == 10) break;
    const int value = DigitValue(text[i]);
    if (i % 2 == 0) {
      sum += value;  // places 1, 3, ..., 9
    } else {
      const int twice = value * 2;  // places 2, 4, ..., 10
      sum += twice >= 10 ? twice - 9 : twice;
    }
  }
  return (10 - sum % 10) % 10 == DigitValue(text[10]);
}

bool ISCOD(std::string_view text) {
  const std::string_view trimmed = TrimRight(text);
  if (trimmed.size() != 16) return ISIVA(text);

  // Values of a letter or digit in an odd place; digits use the first ten.
  static constexpr std::array<int, 26> kOddValues = {
      1, 0, 5, 7, 9, 13, 15, 17, 19, 21, 2, 4, 18, 20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
  if (!IsLetter(trimmed[11]) || !IsLetter(trimmed[15])) return false;
  int sum = 0;
  for (std::size_t i = 0; i < 15; ++i) {
    const char c = ToUpper(trimmed[i]);
    int value = 0;
    if (IsDigit(c)) {
      value = DigitValue(c);
    } else if (IsUpper(c)) {
      value = c - 'A';
    } else {
      return false;
    }
    sum += i % 2 == 0 ? kOddValues[static_cast<std::size_t>(value)] : value;
  }
  return sum % 26 == ToUpper(trimmed[15]) - 'A';
}

bool ISEMAIL(std::string_view text) {
  text = TrimRight(text);
  if (text.empty() || text.back() == '.') return false;
  if (text.find(' ') != std::string_view::npos) return false;
  if (text.find('.') == std::string_view::npos || text.find('@') == std::string_view::npos) {
    return false;
  }
  for (char c : text) {
    const bool punctuation = c == '.' || c == '@' || c == '_' || c == '-' || c == '\'';
    if (!punctuation && !IsLetter(c) && !IsDigit(c)) return false;
  }
  return true;
}

bool ISTIME(std::string_view text) {
  if (text.size() < 8 || text.find(' ') != std::string_view::npos) return false;
  const int hours = TwoDigits(text, 0);
  const int minutes = TwoDigits(text, 3);
  const int seconds = TwoDigits(text, 6);
  return hours >= 0 && minutes >= 0 && seconds >= 0 && hours <= 23 && minutes <= 59 &&
         seconds <= 59;
}

bool ISNUMBER(std::string_view text) {
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

}  // namespace talvi::lib
