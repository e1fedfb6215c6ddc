// SPDX-License-Identifier: MIT
// Code page 1252 and UTF-8, both ways: every byte survives the round trip,
// and what 1252 cannot hold is reported, never passed off as whole.
#include "os/text1252.h"

#include <gtest/gtest.h>

namespace talvi::os {
namespace {

TEST(Text1252, EveryByteComesBackAsItWas) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Utf8From1252(all);
  std::string back;
  EXPECT_TRUE(Utf8To1252(utf8, back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(Utf8From1252("citt\xE0"), "citt\xC3\xA0");
  EXPECT_EQ(Utf8From1252("\x80"), "\xE2\x82\xAC");  // the euro sign
  EXPECT_EQ(Utf8From1252("\x81"), "\xC2\x81");      // undefined: its C1 control
}

TEST(Text1252, WhatItCannotHoldIsMarkedAndReported) {
  const auto convert = [](std::string_view utf8, bool& whole) {
    std::string out;
    whole = Utf8To1252(utf8, out);
    return out;
  };
  bool whole = true;
  EXPECT_EQ(convert("L\xC3\xB3"
                    "d\xC5\xBA",
                    whole),
            "L\xF3"
            "d?");  // "Lódź": ź is not in 1252
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("\xE6\x97\xA5.txt", whole), "?.txt");
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("\xF0\x9F\x98\x80", whole), "?");  // beyond the basic plane
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("\xC2\x80", whole), "?");  // a C1 control that 1252 gives a letter to
  EXPECT_FALSE(whole);
  // Bytes that are no UTF-8: a 1252 name written raw, overlong forms (a
  // hidden "/"), a surrogate, a sequence cut short.
  EXPECT_EQ(convert("citt\xE0.opd", whole), "citt?.opd");
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("a\xC0\xAF"
                    "b",
                    whole),
            "a??b");
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("\xED\xA0\x80", whole), "?");
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("\xE2\x82x", whole), "?x");
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("a\xC3", whole), "a?");
  EXPECT_FALSE(whole);
  EXPECT_EQ(convert("plain ASCII", whole), "plain ASCII");
  EXPECT_TRUE(whole);
}

}  // namespace
}  // namespace talvi::os
