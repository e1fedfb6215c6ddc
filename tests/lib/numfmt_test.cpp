// SPDX-License-Identifier: MIT
#include "lib/numfmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace talvi::lib {
namespace {

TEST(NumberFormatTest, WholeNumbers) {
  EXPECT_EQ(NSTR(1234567, 7), "1.234.567");
  EXPECT_EQ(NSTR(1234567, 9), "  1.234.567");
  EXPECT_EQ(NSTR(-999, 4), " -999");
  EXPECT_EQ(NSTR(999999999999999.0, 15), "999.999.999.999.999");
  EXPECT_EQ(NSTR(0, 3), "  0");
  EXPECT_EQ(ZSTR(0), std::string(NSTR(0).size(), ' '));
  EXPECT_EQ(ZSTR(-42, 3), "-42");
  EXPECT_EQ(SSTR(-1500, 5), " 1.500-");
  EXPECT_EQ(SSTR(1500, 5), " 1.500 ");
  EXPECT_EQ(SSTR(0, 3), "    ");
  EXPECT_EQ(SSTR(0, 3, true), "  0 ");
}

TEST(NumberFormatTest, TwoDecimals) {
  EXPECT_EQ(ENSTR(1234.5, 6), "1.234,50");
  EXPECT_EQ(ENSTR(0, 5), "  0,00");
  EXPECT_EQ(ENSTR(-0.5, 5), " -0,50");
  EXPECT_EQ(EZSTR(0, 5), "      ");
  EXPECT_EQ(EZSTR(12.3, 5), " 12,30");
  EXPECT_EQ(ESSTR(-1234.567, 8), "  1.234,57-");
  EXPECT_EQ(ESSTR(0, 5), "       ");
  EXPECT_EQ(ESSTR(0, 5, true), "  0,00 ");
}

TEST(NumberFormatTest, RoundsInDecimalHalfAwayFromZero) {
  EXPECT_EQ(ENSTR(1.005, 6), "    1,01");  // the double lies below 1.005
  EXPECT_EQ(ENSTR(2.675, 6), "    2,68");
  EXPECT_EQ(ENSTR(-1.005, 6), "   -1,01");
  EXPECT_EQ(ENSTR(1.0049999, 6), "    1,00");
  EXPECT_EQ(ENSTR(-0.004, 6), "    0,00");  // no "-0,00"
  EXPECT_EQ(EZSTR(-0.004, 6), "        ");
  EXPECT_EQ(NSTR(2.5, 3), "  3");
  EXPECT_EQ(NSTR(-2.5, 3), " -3");
  EXPECT_EQ(NSTR(-0.4, 3), "  0");
  EXPECT_EQ(ZSTR(0.4, 3), "   ");
  EXPECT_EQ(NSTR(1e-300, 3), "  0");
  // Every amount of thousandths below 200, against integer rounding.
  for (int thousandths = 0; thousandths < 200'000; ++thousandths) {
    const int cents = (thousandths + 5) / 10;
    std::string expected = std::to_string(cents / 100) + ",";
    expected += std::to_string(cents % 100 / 10) + std::to_string(cents % 10);
    expected.insert(0, 10 - expected.size(), ' ');
    const double amount = thousandths / 1000.0;
    ASSERT_EQ(ENSTR(amount, 8), expected) << thousandths;
    if (cents > 0) {
      expected[expected.find_first_not_of(' ') - 1] = '-';
      ASSERT_EQ(ENSTR(-amount, 8), expected) << thousandths;
    }
  }
}

TEST(NumberFormatTest, OverflowFillsTheFieldWithStars) {
  EXPECT_EQ(NSTR(12345, 4), "*****");
  EXPECT_EQ(NSTR(-1234, 4), "*****");  // no place left for the sign
  EXPECT_EQ(ZSTR(1e15, 15), std::string(19, '*'));
  EXPECT_EQ(SSTR(123456, 5), "*******");
  EXPECT_EQ(ENSTR(9999.995, 6), "********");
  EXPECT_EQ(ESSTR(-100000, 7), std::string(10, '*'));
  EXPECT_EQ(NSTR(std::nan(""), 3), "***");
  EXPECT_EQ(NSTR(std::numeric_limits<double>::infinity(), 3), "***");
  EXPECT_EQ(ZSTR(-std::numeric_limits<double>::max(), 1), "*");
}

TEST(NumberFormatTest, DefaultWidths) {
  EXPECT_EQ(NSTR(5), "            5");   // ten digit places
  EXPECT_EQ(ENSTR(5), "         5,00");  // eight digit places
  EXPECT_EQ(NSTR(-1234567890), "-1.234.567.890");
  EXPECT_EQ(NSTR(12345678901.0), "12.345.678.901");
  EXPECT_EQ(NSTR(-12345678901.0), "-12.345.678.901");
  EXPECT_EQ(ENSTR(12345678901.5), "12.345.678.901,50");
  EXPECT_EQ(NSTR(5, 0), "5");          // at least one digit place
  EXPECT_EQ(NSTR(5, 40).size(), 19U);  // at most fifteen
  EXPECT_EQ(NSTR(5, std::numeric_limits<int>::min()), "5");
  EXPECT_EQ(ENSTR(5, std::numeric_limits<int>::min()), "5,00");
  EXPECT_EQ(ESSTR(5, std::numeric_limits<int>::max()).size(), 23U);
}

}  // namespace
}  // namespace talvi::lib
