// SPDX-License-Identifier: MIT
#include "dbf/date.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "os/local_time.h"

namespace talvi::dbf {

bool ValidYmd(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= last;
}

std::int32_t JulianDay(int year, int month, int day) {
  if (!ValidYmd(year, month, day)) return 0;
  // Gregorian calendar to Julian day number (Fliegel and Van Flandern).
  const int a = (14 - month) / 12;
  const int y = year + 4800 - a;
  const int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

Ymd FromJulianDay(std::int32_t jd) {
  const int a = jd + 32044;
  const int b = (4 * a + 3) / 146097;
  const int c = a - 146097 * b / 4;
  const int d = (4 * c + 3) / 1461;
  const int e = c - 1461 * d / 4;
  const int m = (5 * e + 2) / 153;
  Ymd r;
  r.day = e - (153 * m + 2) / 5 + 1;
  r.month = m + 3 - 12 * (m / 10);
  r.year = 100 * b + d - 4800 + m / 10;
  return r;
}

std::int32_t ParseDtos(std::string_view text) {
  if (text.size() != 8) return 0;
  int v[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  std::size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < widths[i]; ++k, ++pos) {
      const char c = text[pos];
      if (c < '0' || c > '9') return 0;
      v[i] = v[i] * 10 + (c - '0');
    }
  }
  return JulianDay(v[0], v[1], v[2]);
}

void DtosTo(std::int32_t jd, char* out) {
  if (jd <= 0) {
    std::memset(out, ' ', 8);
    return;
  }
  const Ymd d = FromJulianDay(jd);
  if (d.year < 0) {
    // Before the year 0 (date arithmetic can go there): what printf gives.
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year % 10000, d.month % 100, d.day % 100);
    std::memcpy(out, buf, 8);
    return;
  }
  const auto digits = [&out](int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    out += width;
  };
  digits(d.year % 10000, 4);
  digits(d.month % 100, 2);
  digits(d.day % 100, 2);
}

std::string Dtos(std::int32_t jd) {
  std::string out(8, ' ');
  DtosTo(jd, out.data());
  return out;
}

std::int32_t Today() {
  // localtime may look at the time-zone file on every call; the day is
  // worked out again once a minute at most.
  thread_local std::time_t minute = -1;
  thread_local std::int32_t day = 0;
  const std::time_t now = std::time(nullptr);
  if (now / 60 == minute) return day;
  minute = now / 60;
  const std::tm tm = os::LocalTime(now);
  day = JulianDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return day;
}

}  // namespace talvi::dbf
