// SPDX-License-Identifier: MIT
#include "os/wildcard.h"

#include <gtest/gtest.h>

namespace talvi::os {
namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool match;
};

TEST(MatchesWildcard, SystemRules) {
  const Case cases[] = {
      {"*.*", "readme", true},
      {"*.*", "a.b.c", true},
      {"*", ".hidden", true},
      {"*.txt", "A.TXT", true},
      {"*.txt", "a.b.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.", "noext", true},
      {"*.", "has.ext", false},
      {"a?.txt", "a.txt", true},
      {"a?.txt", "ab.txt", true},
      {"a?.txt", "abc.txt", false},
      {"????", "ab", true},
      {"????", "abcde", false},
      {"?", ".", false},
      {"x*y", "xay", true},
      {"x*y", "xa.y", true},
      {"x*y", "xa.z", false},
      {"\x7F*.*", "\x7FVIEW1.NTX", true},
      {"\x7F*.*", "VIEW1.NTX", false},
      {"GI\xC0", "gi\xE0", true},
      {"abc", "ABC", true},
      {"abc", "abcd", false},
      {"*.opd", "disk.OPD", true},
      {"*a*", "banana", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.match)
        << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
  }
}

TEST(MatchesWildcard, LongNamesStayCheap) {
  const std::string name(255, 'a');
  EXPECT_FALSE(MatchesWildcard("*a*a*a*a*a*a*a*a*b", name));
  EXPECT_TRUE(MatchesWildcard("*a*a*a*a*a*a*a*a*", name));
}

}  // namespace
}  // namespace talvi::os
