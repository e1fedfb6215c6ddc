// SPDX-License-Identifier: MIT
// Dates as Julian day numbers, the form that date arithmetic and index keys
// use; 0 stands for the empty date.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvi::dbf {

struct Ymd {
  int year = 0;
  int month = 0;
  int day = 0;
};

bool ValidYmd(int year, int month, int day);
// The Julian day number of a valid date, 0 otherwise.
std::int32_t JulianDay(int year, int month, int day);
// The calendar date of a Julian day number (> 0).
Ymd FromJulianDay(std::int32_t jd);
// "YYYYMMDD" and back; an invalid or blank text is the empty date.
std::int32_t ParseDtos(std::string_view text);
std::string Dtos(std::int32_t jd);  // 8 blanks for the empty date
// The same into the 8 bytes at `out`.
void DtosTo(std::int32_t jd, char* out);
// Today in local time.
std::int32_t Today();

}  // namespace talvi::dbf
