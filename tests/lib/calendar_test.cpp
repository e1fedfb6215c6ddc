// SPDX-License-Identifier: MIT
#include "lib/calendar.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace talvi::lib {
namespace {

// Easter by the epact of the Gregorian reform (the form Knuth gives), written
// independently of the library's computation. Returns {month, day}.
std::pair<int, int> EasterByEpact(int year) {
  const int golden = year % 19 + 1;
  const int century = year / 100 + 1;
  const int skipped_leap_days = 3 * century / 4 - 12;
  const int moon_correction = (8 * century + 5) / 25 - 5;
  const int sunday = 5 * year / 4 - skipped_leap_days - 10;
  int epact = (11 * golden + 20 + moon_correction - skipped_leap_days) % 30;
  if (epact < 0) epact += 30;
  if ((epact == 25 && golden > 11) || epact == 24) ++epact;
  int full_moon = 44 - epact;
  if (full_moon < 21) full_moon += 30;
  const int day = full_moon + 7 - (sunday + full_moon) % 7;
  return day > 31 ? std::pair{4, day - 31} : std::pair{3, day};
}

TEST(EasterTest, AgreesWithTheEpactMethodFrom1583To2400) {
  for (int year = 1583; year <= 2400; ++year) {
    const auto [month, day] = EasterByEpact(year);
    EXPECT_EQ(EASTER(year), Date(year, month, day)) << year;
  }
}

TEST(EasterTest, KnownDates) {
  EXPECT_EQ(EASTER(2024), Date(2024, 3, 31));
  EXPECT_EQ(EASTER(2025), Date(2025, 4, 20));
  EXPECT_EQ(EASTER(2000), Date(2000, 4, 23));
  EXPECT_EQ(EASTER(1818), Date(1818, 3, 22));  // earliest possible
  EXPECT_EQ(EASTER(1943), Date(1943, 4, 25));  // latest possible
  EXPECT_EQ(EASTER(2038), Date(2038, 4, 25));
  EXPECT_EQ(EASTER(Date(2024, 12, 31)), Date(2024, 3, 31));
  EXPECT_TRUE(EASTER(Date()).IsEmpty());
  EXPECT_TRUE(EASTER(0).IsEmpty());
  EXPECT_TRUE(EASTER(10000).IsEmpty());
}

TEST(IsFestTest, EveryDayOf2025) {
  const std::set<std::pair<int, int>> holidays = {{1, 1},  {1, 6},   {4, 21}, {4, 25},
                                                  {5, 1},  {6, 2},   {8, 15}, {11, 1},
                                                  {12, 8}, {12, 25}, {12, 26}};
  int weekday = 4;  // 1 January 2025 was a Wednesday (Sunday = 1)
  for (Date day(2025, 1, 1); day.Year() == 2025; day += 1, weekday = weekday % 7 + 1) {
    const bool holiday = holidays.count({day.Month(), day.Day()}) > 0;
    SCOPED_TRACE(DTOC(day));
    EXPECT_EQ(ISFEST(day, false), holiday || weekday == 1);
    EXPECT_EQ(ISFEST(day), holiday || weekday == 1 || weekday == 7);
  }
}

TEST(IsFestTest, EasterMondayAndEmptyDate) {
  EXPECT_TRUE(ISFEST(Date(2024, 4, 1), false));
  EXPECT_FALSE(ISFEST(Date(2024, 4, 2), false));
  EXPECT_TRUE(ISFEST(Date(2024, 3, 30)));  // an ordinary Saturday
  EXPECT_FALSE(ISFEST(Date(2024, 3, 30), false));
  EXPECT_FALSE(ISFEST(Date()));
}

TEST(MonthTest, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(ISLEAP(2000));
  EXPECT_FALSE(ISLEAP(1900));
  EXPECT_TRUE(ISLEAP(Date(2024, 7, 1)));
  EXPECT_FALSE(ISLEAP(Date(2023, 7, 1)));
  EXPECT_FALSE(ISLEAP(Date()));
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(MDAYS(Date(2023, month, 15)), days[month - 1]) << month;
  }
  EXPECT_EQ(MDAYS(Date(2024, 2, 1)), 29);
  EXPECT_EQ(MDAYS(Date()), 0);
}

TEST(NamesTest, DaysAndMonthsInWindows1252) {
  const char* const days[] = {"Domenica",   "Luned\xEC",  "Marted\xEC", "Mercoled\xEC",
                              "Gioved\xEC", "Venerd\xEC", "Sabato"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(CDAY(Date(2024, 3, 31) + i), days[i]);
  EXPECT_EQ(CDAY(Date()), "");
  EXPECT_EQ(CMNT(1), "Gennaio");
  EXPECT_EQ(CMNT(Date(2024, 12, 1)), "Dicembre");
  for (const int month : {0, 13, -1}) EXPECT_EQ(CMNT(month), "") << month;
  EXPECT_EQ(CMNT(Date()), "");
}

}  // namespace
}  // namespace talvi::lib
