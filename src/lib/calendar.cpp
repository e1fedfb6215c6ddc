// SPDX-License-Identifier: MIT
#include "lib/calendar.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace talvi::lib {

bool ISLEAP(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool ISLEAP(Date date) {
  return !date.IsEmpty() && ISLEAP(date.Year());
}

int MDAYS(Date date) {
  switch (date.Month()) {
    case 0: return 0;
    case 2: return ISLEAP(date) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
  }
}

Date EASTER(int year) {
  if (year < 1 || year > 9999) return {};
  // The anonymous Gregorian computation: epact from the lunar cycle a and the
  // century corrections, then the Sunday that follows the paschal full moon.
  const int a = year % 19;
  const int b = year / 100;
  const int c = year % 100;
  const int d = b / 4;
  const int e = b % 4;
  const int f = (b + 8) / 25;
  const int g = (b - f + 1) / 3;
  const int h = (19 * a + b - d - g + 15) % 30;
  const int i = c / 4;
  const int k = c % 4;
  const int l = (32 + 2 * e + 2 * i - h - k) % 7;
  const int m = (a + 11 * h + 22 * l) / 451;
  const int n = h + l - 7 * m + 114;
  return Date(year, n / 31, n % 31 + 1);
}

Date EASTER(Date date) {
  return date.IsEmpty() ? Date() : EASTER(date.Year());
}

bool ISFEST(Date date, bool saturday_is_holiday) {
  if (date.IsEmpty()) return false;
  struct MonthDay {
    int month;
    int day;
  };
  static constexpr std::array<MonthDay, 10> kFixedHolidays = {{
      {1, 1},    // Capodanno
      {1, 6},    // Epifania
      {4, 25},   // Liberazione
      {5, 1},    // Festa del lavoro
      {6, 2},    // Festa della Repubblica
      {8, 15},   // Ferragosto
      {11, 1},   // Ognissanti
      {12, 8},   // Immacolata
      {12, 25},  // Natale
      {12, 26},  // Santo Stefano
  }};
  const int month = date.Month();
  const int day = date.Day();
  for (const MonthDay& holiday : kFixedHolidays) {
    if (holiday.month == month && holiday.day == day) return true;
  }
  if (date == EASTER(date) + 1) return true;
  const int weekday = DOW(date);
  if (weekday == 1) return true;
  return weekday == 7 && saturday_is_holiday;
}

std::string CDAY(Date date) {
  static constexpr std::array<std::string_view, 7> kNames = {
      "Domenica", "Luned\xEC", "Marted\xEC", "Mercoled\xEC", "Gioved\xEC", "Venerd\xEC", "Sabato"};
  const int weekday = DOW(date);
  if (weekday == 0) return {};
  return std::string(kNames[static_cast<std::size_t>(weekday - 1)]);
}

std::string CMNT(int month) {
  static constexpr std::array<std::string_view, 12> kNames = {
      "Gennaio", "Febbraio", "Marzo",     "Aprile",  "Maggio",   "Giugno",
      "Luglio",  "Agosto",   "Settembre", "Ottobre", "Novembre", "Dicembre"};
  if (month < 1 || month > 12) return {};
  return std::string(kNames[static_cast<std::size_t>(month - 1)]);
}

std::string CMNT(Date date) {
  return CMNT(date.Month());
}

}  // namespace talvi::lib
