// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>

#include "lib/date.h"
#include "lib/settings.h"

namespace talvi::lib {
namespace {

TEST(DateTest, ConsecutiveDaysWalkTheCalendar) {
  // Walks day by day from 1 January 1 to 31 December 9999 with a counter of
  // its own, checking the parts, the day count and the weekday.
  int year = 1;
  int month = 1;
  int day = 1;
  int weekday = 2;  // 1 January 1 was a Monday in the proleptic calendar
  const Date first(1, 1, 1);
  ASSERT_EQ(first.Julian(), 1721426);
  for (Date date = first; !date.IsEmpty(); date += 1) {
    ASSERT_EQ(date.Year(), year);
    ASSERT_EQ(date.Month(), month);
    ASSERT_EQ(date.Day(), day);
    ASSERT_EQ(DOW(date), weekday);
    ASSERT_EQ(Date(year, month, day), date);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int length = 31;
    if (month == 2) {
      length = leap ? 29 : 28;
    } else if (month == 4 || month == 6 || month == 9 || month == 11) {
      length = 30;
    }
    weekday = weekday % 7 + 1;
    if (++day > length) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  EXPECT_EQ(year, 10000);
}

TEST(DateTest, ImpossibleDaysAreEmpty) {
  EXPECT_TRUE(Date(2023, 2, 29).IsEmpty());
  EXPECT_TRUE(Date(1900, 2, 29).IsEmpty());
  EXPECT_FALSE(Date(2000, 2, 29).IsEmpty());
  EXPECT_TRUE(Date(2024, 4, 31).IsEmpty());
  EXPECT_TRUE(Date(2024, 13, 1).IsEmpty());
  EXPECT_TRUE(Date(2024, 0, 1).IsEmpty());
  EXPECT_TRUE(Date(0, 1, 1).IsEmpty());
  EXPECT_TRUE(Date(10000, 1, 1).IsEmpty());
}

TEST(DateTest, EmptyDate) {
  const Date empty;
  EXPECT_EQ(empty.Year(), 0);
  EXPECT_EQ(DOW(empty), 0);
  EXPECT_LT(empty, Date(1, 1, 1));
  EXPECT_TRUE((empty + 1).IsEmpty());
  EXPECT_EQ(Date(2024, 1, 1) - empty, 0);
  EXPECT_EQ(empty, Date::FromJulian(0));
}

TEST(DateTest, Arithmetic) {
  EXPECT_EQ(Date(2024, 2, 28) + 1, Date(2024, 2, 29));
  EXPECT_EQ(Date(2024, 3, 1) - 1, Date(2024, 2, 29));
  EXPECT_EQ(Date(2025, 1, 1) - Date(2024, 1, 1), 366);
  EXPECT_EQ(Date(2024, 1, 1) - Date(2025, 1, 1), -366);
  EXPECT_TRUE((Date(9999, 12, 31) + 1).IsEmpty());
  EXPECT_TRUE((Date(1, 1, 1) - 1).IsEmpty());
  EXPECT_TRUE((Date(2024, 1, 1) + INT64_MAX).IsEmpty());
  EXPECT_TRUE((Date(2024, 1, 1) - INT64_MAX).IsEmpty());
}

// Dates read and written under the library's defaults, as every run of the
// program has them from its start-up on.
class DateTextTest : public ::testing::Test {
 protected:
  void SetUp() override { LibSettings().ApplyDefaults(); }
};

TEST_F(DateTextTest, ReadsUnderFormatAndEpoch) {
  EXPECT_EQ(CTOD("01/02/1985"), Date(1985, 2, 1));
  EXPECT_EQ(CTOD("01/02/85"), Date(1985, 2, 1));
  EXPECT_EQ(CTOD("1/2/79"), Date(2079, 2, 1));
  EXPECT_EQ(CTOD("01/02/80"), Date(1980, 2, 1));
  EXPECT_EQ(CTOD("01/02/00"), Date(2000, 2, 1));
  EXPECT_EQ(CTOD(" 31/12/2024 "), Date(2024, 12, 31));
  EXPECT_EQ(CTOD("01/02/50", "dd/mm/yy", 1950), Date(1950, 2, 1));
  EXPECT_EQ(CTOD("01/02/49", "dd/mm/yy", 1950), Date(2049, 2, 1));
  EXPECT_EQ(CTOD("12/31/2024", "mm/dd/yyyy"), Date(2024, 12, 31));
  EXPECT_EQ(CTOD("2024.12.31", "yyyy.mm.dd"), Date(2024, 12, 31));
  for (const char* bad :
       {"", "  /  /    ", "31/04/2024", "29/02/1900", "01/02", "01/02/2024/1", "001/02/2024",
        "01/02/20245", "01//2024", "a1/02/2024", "01/02/2024x", "99999999999999999999/1/1"}) {
    EXPECT_TRUE(CTOD(bad).IsEmpty()) << bad;
  }
  EXPECT_TRUE(CTOD("01/02/2024", "dd/yyyy").IsEmpty());
}

TEST_F(DateTextTest, Writes) {
  EXPECT_EQ(DTOC(Date(2024, 3, 5)), "05/03/2024");
  EXPECT_EQ(DTOC(Date(812, 3, 5)), "05/03/0812");
  EXPECT_EQ(DTOC(Date(2024, 3, 5), "mm-dd-yy"), "03-05-24");
  EXPECT_EQ(DTOC(Date()), "  /  /    ");
  EXPECT_EQ(DTOS(Date(2024, 3, 5)), "20240305");
  EXPECT_EQ(DTOS(Date()), "        ");
  EXPECT_EQ(STOD("20240305"), Date(2024, 3, 5));
  for (const char* bad : {"20240230", "2024035", "2024-3-5", "202403055"}) {
    EXPECT_TRUE(STOD(bad).IsEmpty()) << bad;
  }
  for (Date d(1999, 12, 1); d.Year() < 2001; d += 17) {
    EXPECT_EQ(CTOD(DTOC(d)), d);
    EXPECT_EQ(STOD(DTOS(d)), d);
  }
}

}  // namespace
}  // namespace talvi::lib
