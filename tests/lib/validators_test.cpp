// SPDX-License-Identifier: MIT
#include "lib/validators.h"

#include <gtest/gtest.h>

#include <string>

namespace talvi::lib {
namespace {

using namespace std::string_literals;

// Published account numbers: the Italian one of the IBAN registry's example,
// San Marino, France and Monaco, all 27 characters long.
const char* const kIbans27[] = {"IT60X0542811101000000123456", "SM86U0322509800000000270100",
                                "FR1420041010050500013M02606", "MC5811222000010123456789030"};

TEST(IsIbanTest, AcceptsRealNumbersAndRejectsEachChangedDigit) {
  for (const std::string iban : kIbans27) {
    SCOPED_TRACE(iban);
    EXPECT_TRUE(ISIBAN(iban));
    EXPECT_TRUE(ISIBAN("  " + iban + " "));
    for (std::size_t i = 2; i < iban.size(); ++i) {
      if (iban[i] < '0' || iban[i] > '9') continue;
      std::string changed = iban;
      changed[i] = changed[i] == '9' ? '0' : static_cast<char>(changed[i] + 1);
      EXPECT_FALSE(ISIBAN(changed)) << "digit " << i;
    }
  }
}

TEST(IsIbanTest, RejectsOtherLengthsAndAnyRemainderButOne) {
  EXPECT_FALSE(ISIBAN("DE89370400440532013000"));  // valid German IBAN, 22 characters
  EXPECT_FALSE(ISIBAN("IT60 X054 2811 1010 0000 0123 456"));
  EXPECT_FALSE(ISIBAN(""));
  EXPECT_FALSE(ISIBAN("IT69X0542811101000000123456"));  // remainder 10
  EXPECT_FALSE(ISIBAN("IT78X0542811101000000123456"));  // remainder 19
}

TEST(IsIbanTest, MalformedInputNeverPasses) {
  // Both would pass the remainder check with letters counted as code - 55.
  EXPECT_FALSE(ISIBAN("IT91x0542811101000000123456"));
  EXPECT_FALSE(ISIBAN("123605428111010000001234567"));
  for (const char odd : {'\0', '\xE9', '-', ' ', ':'}) {
    std::string iban = kIbans27[0];
    iban[17] = odd;
    EXPECT_FALSE(ISIBAN(iban)) << int{odd};
  }
  EXPECT_FALSE(ISIBAN(std::string(100000, '1')));
}

TEST(IsIvaTest, ChecksTheLastDigit) {
  for (const std::string vat : {"06363391001", "00488410010", "00905811006", "01234567897"}) {
    EXPECT_TRUE(ISIVA(vat + "   ")) << vat;
    for (const std::size_t place : {3U, 10U}) {
      std::string changed = vat;
      changed[place] = changed[place] == '9' ? '0' : static_cast<char>(changed[place] + 1);
      EXPECT_FALSE(ISIVA(changed)) << changed;
    }
  }
  for (const std::string& bad : {"00000000000"s, " 6363391001"s, "0636339100"s, "063633910011"s,
                                 "0636339100\0"s, "0636339A001"s}) {
    EXPECT_FALSE(ISIVA(bad)) << bad;
  }
}

TEST(IsCodTest, FiscalCodesWithTheirControlLetter) {
  EXPECT_TRUE(ISCOD("RSSMRA85T10A562S"));
  EXPECT_TRUE(ISCOD("rssmra80a01h501u  "));
  EXPECT_TRUE(ISCOD("RSSMRA85T10A56NH"));  // digits replaced by letters
  EXPECT_FALSE(ISCOD("RSSMRA85T10A562T"));
  EXPECT_FALSE(ISCOD("RSSMRA85T1015627"));  // digit in twelfth place
  for (const char odd : {'\0', '\xE9', '-', ' ', '['}) {
    for (const std::size_t place : {6U, 13U, 15U}) {
      std::string code = "RSSMRA85T10A562S";
      code[place] = odd;
      EXPECT_FALSE(ISCOD(code)) << int{odd} << " at " << place;
    }
  }
  // Other lengths are VAT numbers.
  EXPECT_TRUE(ISCOD("06363391001"));
  EXPECT_FALSE(ISCOD("06363391002"));
  EXPECT_FALSE(ISCOD("RSSMRA85T10A562S1"));
}

TEST(IsEmailTest, Form) {
  EXPECT_TRUE(ISEMAIL("mario.rossi@example.it"));
  EXPECT_TRUE(ISEMAIL("d'amico_g-1@posta.it   "));
  EXPECT_TRUE(ISEMAIL("@a.b"));
  for (const std::string& bad :
       {"mario.rossi@example."s, "mario rossi@example.it"s, " mario@example.it"s, "mario@example"s,
        "mario.example.it"s, "mar\xECo@example.it"s, "mario\0@example.it"s, ""s}) {
    EXPECT_FALSE(ISEMAIL(bad)) << bad;
  }
}

TEST(IsTimeTest, Ranges) {
  EXPECT_TRUE(ISTIME("23:59:59"));
  EXPECT_TRUE(ISTIME("00.00.00"));
  for (const char* bad : {"24:00:00", "12:60:00", "12:00:60", "12:00:00 ", " 2:00:00", "1a:00:00",
                          "-1:00:00", "12:30", ""}) {
    EXPECT_FALSE(ISTIME(bad)) << bad;
  }
}

TEST(IsNumberTest, DigitsOnly) {
  EXPECT_TRUE(ISNUMBER(""));
  EXPECT_TRUE(ISNUMBER("0123456789"));
  for (const std::string& bad : {"12 3"s, "-1"s, "12\0"s, "\xB9"s}) EXPECT_FALSE(ISNUMBER(bad));
}

}  // namespace
}  // namespace talvi::lib
