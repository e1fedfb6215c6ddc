// SPDX-License-Identifier: MIT
#include "lib/date.h"

#include <array>
#include <cstddef>
#include <ostream>

#include "base/ascii.h"

namespace talvi::lib {
namespace {

// Julian day number of 1 January 1970, the origin of the civil day count.
constexpr std::int64_t kJulianOf1970 = 2440588;
constexpr std::int64_t kFirstJulian = 1721426;  // 1 January 1
constexpr std::int64_t kLastJulian = 5373484;   // 31 December 9999

struct Ymd {
  int year = 0;
  int month = 0;
  int day = 0;
};

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a proleptic Gregorian day, counting in eras of 400
// years that start on 1 March so that the leap day falls at the end of a year.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

Ymd CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const std::int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

Ymd Parts(Date date) {
  if (date.IsEmpty()) return {};
  return CivilFromDays(date.Julian() - kJulianOf1970);
}

using base::IsAsciiDigit;
using base::StartsWithNoCase;

constexpr std::string_view TrimBlanks(std::string_view text) {
  return base::Trim(text);
}

void AppendNumber(std::string& out, int value, int width) {
  std::string digits(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0 && value > 0; --i) {
    digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out += digits;
}

// The order in which day, month and year appear in a format: a string over
// "dmy" of length three, or empty when the format lacks one of them.
std::string FieldOrder(std::string_view format) {
  std::string order;
  for (char c : format) {
    const char lower = base::AsciiLower(c);
    if ((lower == 'd' || lower == 'm' || lower == 'y') && order.find(lower) == std::string::npos) {
      order += lower;
    }
  }
  return order.size() == 3 ? order : std::string();
}

}  // namespace

Date::Date(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return;
  if (day < 1 || day > DaysInMonth(year, month)) return;
  julian_ = static_cast<std::int32_t>(DaysFromCivil(year, month, day) + kJulianOf1970);
}

Date Date::FromJulian(std::int64_t julian_day) {
  Date date;
  if (julian_day >= kFirstJulian && julian_day <= kLastJulian) {
    date.julian_ = static_cast<std::int32_t>(julian_day);
  }
  return date;
}

int Date::Year() const {
  return Parts(*this).year;
}
int Date::Month() const {
  return Parts(*this).month;
}
int Date::Day() const {
  return Parts(*this).day;
}

Date Date::operator+(std::int64_t days) const {
  if (IsEmpty()) return {};
  // Out-of-range offsets are rejected before adding, so that the sum cannot
  // overflow.
  if (days > kLastJulian || days < -kLastJulian) return {};
  return FromJulian(julian_ + days);
}

std::int64_t Date::operator-(Date other) const {
  if (IsEmpty() || other.IsEmpty()) return 0;
  return std::int64_t{julian_} - other.julian_;
}

int DOW(Date date) {
  if (date.IsEmpty()) return 0;
  // Julian day 0 was a Monday; Sunday is day 1 of the week.
  return static_cast<int>((date.Julian() + 1) % 7) + 1;
}

Date CTOD(std::string_view text, std::string_view format, int epoch) {
  const std::string order = FieldOrder(format);
  text = TrimBlanks(text);
  if (order.empty() || text.empty()) return {};

  std::array<int, 3> values{};
  std::array<std::size_t, 3> lengths{};
  std::size_t pos = 0;
  for (std::size_t field = 0; field < 3; ++field) {
    if (field > 0) {
      // Exactly one separator, which is not a digit.
      if (pos >= text.size() || IsAsciiDigit(text[pos])) return {};
      ++pos;
    }
    const std::size_t start = pos;
    while (pos < text.size() && IsAsciiDigit(text[pos]) && pos - start < 5) {
      values[field] = values[field] * 10 + (text[pos] - '0');
      ++pos;
    }
    lengths[field] = pos - start;
    if (lengths[field] == 0) return {};
  }
  if (pos != text.size()) return {};

  int year = 0;
  int month = 0;
  int day = 0;
  for (std::size_t field = 0; field < 3; ++field) {
    const std::size_t max_length = order[field] == 'y' ? 4 : 2;
    if (lengths[field] > max_length) return {};
    switch (order[field]) {
      case 'd': day = values[field]; break;
      case 'm': month = values[field]; break;
      default:
        year = values[field];
        if (lengths[field] <= 2) {
          year += epoch / 100 * 100;
          if (year < epoch) year += 100;
        }
        break;
    }
  }
  return Date(year, month, day);
}

std::string DTOC(Date date, std::string_view format) {
  const Ymd parts = Parts(date);
  std::string out;
  out.reserve(format.size());
  while (!format.empty()) {
    int value = -1;
    int width = 0;
    if (StartsWithNoCase(format, "yyyy")) {
      value = parts.year;
      width = 4;
    } else if (StartsWithNoCase(format, "yy")) {
      value = parts.year % 100;
      width = 2;
    } else if (StartsWithNoCase(format, "dd")) {
      value = parts.day;
      width = 2;
    } else if (StartsWithNoCase(format, "mm")) {
      value = parts.month;
      width = 2;
    }
    if (width == 0) {
      out += format.front();
      format.remove_prefix(1);
      continue;
    }
    if (date.IsEmpty()) {
      out.append(static_cast<std::size_t>(width), ' ');
    } else {
      AppendNumber(out, value, width);
    }
    format.remove_prefix(static_cast<std::size_t>(width));
  }
  return out;
}

std::string DTOS(Date date) {
  if (date.IsEmpty()) return std::string(8, ' ');
  std::string out;
  AppendNumber(out, date.Year(), 4);
  AppendNumber(out, date.Month(), 2);
  AppendNumber(out, date.Day(), 2);
  return out;
}

Date STOD(std::string_view text) {
  if (text.size() != 8) return {};
  int value[3] = {0, 0, 0};
  for (std::size_t i = 0; i < 8; ++i) {
    if (!IsAsciiDigit(text[i])) return {};
    int& part = value[i < 4 ? 0 : (i < 6 ? 1 : 2)];
    part = part * 10 + (text[i] - '0');
  }
  return Date(value[0], value[1], value[2]);
}

std::ostream& operator<<(std::ostream& out, Date date) {
  if (date.IsEmpty()) return out << "empty date";
  return out << DTOC(date, "yyyy-mm-dd");
}

}  // namespace talvi::lib
