// SPDX-License-Identifier: MIT
// The library's calendar date: a proleptic Gregorian day from 1 January 1 to
// 31 December 9999, or the empty date, which is distinct from every real day
// and sorts before all of them.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "lib/settings.h"

namespace talvi::lib {

class Date {
 public:
  // The empty date.
  constexpr Date() = default;
  // The given day; an impossible day (31 April, month 13, year 0 ...) gives
  // the empty date.
  Date(int year, int month, int day);

  // Julian day number: 1721426 for 1 January 1, 0 for the empty date.
  static Date FromJulian(std::int64_t julian_day);
  constexpr std::int32_t Julian() const { return julian_; }

  constexpr bool IsEmpty() const { return julian_ == 0; }
  // Parts of the date; 0 for the empty date.
  int Year() const;
  int Month() const;
  int Day() const;

  // Day arithmetic. A result outside the supported years, or any arithmetic
  // on the empty date, gives the empty date.
  Date operator+(std::int64_t days) const;
  Date operator-(std::int64_t days) const { return *this + (-days); }
  Date& operator+=(std::int64_t days) { return *this = *this + days; }
  Date& operator-=(std::int64_t days) { return *this = *this - days; }
  // Days from `other` to this date; 0 when either date is empty.
  std::int64_t operator-(Date other) const;

  constexpr auto operator<=>(const Date&) const = default;

 private:
  std::int32_t julian_ = 0;
};

// Weekday: 1 for Sunday up to 7 for Saturday; 0 for the empty date.
int DOW(Date date);

// Reads a date typed under `format` ("dd/mm/yyyy", "mm/dd/yy", "yyyy.mm.dd"
// ...). The text holds three runs of digits in the format's order of day,
// month and year, each pair separated by exactly one other character; blanks
// around it are ignored. A year of one or two digits is placed in the hundred
// years starting at `epoch`. A blank text, a malformed text or an impossible
// day gives the empty date. The format and the epoch default to those in
// force in the process (LibSettings(): "dd/mm/yyyy" and 1980 once the
// library has started).
Date CTOD(std::string_view text, std::string_view format = LibSettings().DateFormat(),
          int epoch = LibSettings().Epoch());

// Writes `date` under `format`: "dd", "mm", "yyyy" and "yy" are replaced by
// the day, month, year and year of the century, every other character is
// kept. The empty date shows blanks in place of the digits. The format
// defaults to the one in force.
std::string DTOC(Date date, std::string_view format = LibSettings().DateFormat());

// The sortable form "yyyymmdd"; eight blanks for the empty date.
std::string DTOS(Date date);
// Reads "yyyymmdd"; anything else gives the empty date.
Date STOD(std::string_view text);

// "2024-03-05", or "empty date": for logs and test messages.
std::ostream& operator<<(std::ostream& out, Date date);

// A date with a time of day, as the run-time's timestamps carry it.
struct DateTime {
  Date date;
  std::chrono::milliseconds time_of_day{0};
};

// The date part of a timestamp; the empty timestamp gives the empty date.
inline Date TTOD(const DateTime& value) {
  return value.date;
}

}  // namespace talvi::lib
