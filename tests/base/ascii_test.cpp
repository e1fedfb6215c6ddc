// SPDX-License-Identifier: MIT
// Case and trimming touch the 26 ASCII letters and the named blanks only:
// the 1252 bytes of accented letters and every other byte stay as they are.
#include "base/ascii.h"

#include <gtest/gtest.h>

namespace talvi::base {
namespace {

TEST(Ascii, CaseChangesOnlyTheLatinLetters) {
  // "città" in 1252, with the bytes around the letter ranges.
  const std::string text = std::string("citt\xE0 @[`{") + '\0' + "\xC0\xFF";
  EXPECT_EQ(AsciiUpper(text), std::string("CITT\xE0 @[`{") + '\0' + "\xC0\xFF");
  EXPECT_EQ(AsciiLower("COM1 \xC0"), "com1 \xC0");
  EXPECT_TRUE(EqualsNoCase("Impostazioni", "IMPOSTAZIONI"));
  EXPECT_FALSE(EqualsNoCase("\xE0", "\xC0"));  // à and À differ
  EXPECT_FALSE(EqualsNoCase("ab", "abc"));
  EXPECT_TRUE(StartsWithNoCase("com12", "COM"));
  EXPECT_FALSE(StartsWithNoCase("CO", "COM"));
}

TEST(Ascii, TrimmingTakesOnlyTheNamedBlanks) {
  EXPECT_EQ(TrimRight("  a b  "), "  a b");
  EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimRight("a\t \t "), "a\t \t");
  EXPECT_EQ(TrimRight("a\t \t", " \t"), "a");
  EXPECT_EQ(Trim(std::string_view("\0a\0", 3)), std::string_view("\0a\0", 3));
}

}  // namespace
}  // namespace talvi::base
