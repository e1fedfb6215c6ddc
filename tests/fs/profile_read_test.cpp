// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>

#include "fs/profile.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

using talvi::testing::TempDir;
using talvi::testing::WriteBytes;
using namespace std::string_literals;

class ProfileRead : public ::testing::Test {
 protected:
  std::string Get(const std::optional<std::string>& section, const std::optional<std::string>& key,
                  const std::optional<std::string>& def = "DEF", std::size_t n = 4096) {
    return GetPrivateProfileString(section, key, def, n, ini_);
  }
  void Write(const std::string& bytes) { WriteBytes(ini_, bytes); }

  TempDir dir_;
  std::string ini_ = dir_ / "t.ini";
};

TEST_F(ProfileRead, MissingFileGivesTrimmedDefaultAndCreatesNothing) {
  EXPECT_EQ(Get("S", "K", "  dflt  "), "  dflt");
  EXPECT_EQ(Get("S", "K", std::nullopt), "");
  EXPECT_EQ(Get(std::nullopt, std::nullopt), "");
  EXPECT_EQ(GETPVPROFSTRING("S", "K", "", ini_), "");
  EXPECT_FALSE(std::filesystem::exists(ini_));
}

TEST_F(ProfileRead, NamesValuesBlanksAndQuotes) {
  Write(
      "[ Impostazioni ]\r\n"
      "  Porta =  COM2  \r\n"
      "Quoted=\"a b\"\r\n"
      "Single=' x '\r\n"
      "Mixed=\"abc'\r\n"
      "One=\"\r\n"
      "Blank=   \r\n"
      "Empty=\r\n"
      "Eq=a=b\r\n"
      "Semi=v ; not a comment\r\n"
      "#Hash=yes\r\n"
      "NoEquals\r\n"
      "Tab\t=\tt\t\r\n");
  EXPECT_EQ(Get("impostazioni", "PORTA"), "COM2");
  EXPECT_EQ(Get("  Impostazioni\t", " porta "), "COM2");
  EXPECT_EQ(Get("Impostazioni", "Quoted"), "a b");
  EXPECT_EQ(Get("Impostazioni", "Single"), " x ");
  EXPECT_EQ(Get("Impostazioni", "Mixed"), "\"abc'");
  EXPECT_EQ(Get("Impostazioni", "One"), "\"");
  EXPECT_EQ(Get("Impostazioni", "Blank"), "");
  EXPECT_EQ(Get("Impostazioni", "Empty"), "");
  EXPECT_EQ(Get("Impostazioni", "Eq"), "a=b");
  EXPECT_EQ(Get("Impostazioni", "Semi"), "v ; not a comment");
  EXPECT_EQ(Get("Impostazioni", "#Hash"), "yes");
  EXPECT_EQ(Get("Impostazioni", "NoEquals"), "DEF");
  EXPECT_EQ(Get("Impostazioni", "Tab"), "t");
  EXPECT_EQ(Get("Other", "Porta"), "DEF");
}

TEST_F(ProfileRead, EndingsBomAndDuplicates) {
  Write("\xEF\xBB\xBF[A]\rk=1\nK=2\r\n[b]\nx=3\r[a]\rk=4\rz=5");
  EXPECT_EQ(Get("A", "k"), "1");
  EXPECT_EQ(Get("b", "X"), "3");
  EXPECT_EQ(Get("a", "z"), "DEF");  // only the first [A] is read
}

// Wine's reader departs from Windows in the cases below.
constexpr const char* kWineReader =
    "Wine's GetPrivateProfileStringA differs from Windows here (docs/windows-testing.md)";

TEST_F(ProfileRead, SemicolonLineIsAComment) {
  if (talvi::testing::UnderWine()) GTEST_SKIP() << kWineReader;
  Write("[S]\r\n; Comment=no\r\n");
  EXPECT_EQ(Get("S", "; Comment"), "DEF");
}

TEST_F(ProfileRead, ListingsNameDuplicatesOnce) {
  if (talvi::testing::UnderWine()) GTEST_SKIP() << kWineReader;
  Write("[A]\rk=1\nK=2\r\n[b]\nx=3\r[a]\rk=4\rz=5");
  EXPECT_EQ(Get(std::nullopt, std::nullopt), "A\0b\0"s);
  EXPECT_EQ(Get("a", std::nullopt), "k\0"s);
}

TEST_F(ProfileRead, ListThatJustFitsIsWhole) {
  if (talvi::testing::UnderWine()) GTEST_SKIP() << kWineReader;
  Write("[S]\nK=abcdef\nLongKeyName=1\nB=2\n");
  // "K\0LongKeyName\0B\0" is 16 bytes; with its final zero it needs 17.
  EXPECT_EQ(Get("S", std::nullopt, "", 17), "K\0LongKeyName\0B\0"s);
}

TEST_F(ProfileRead, BufferLimits) {
  Write("[S]\nK=abcdef\nLongKeyName=1\nB=2\n");
  EXPECT_EQ(Get("S", "K", "", 7), "abcdef");
  EXPECT_EQ(Get("S", "K", "", 4), "abc");
  EXPECT_EQ(Get("S", "K", "", 1), "");
  EXPECT_EQ(Get("S", "K", "", 0), "");
  EXPECT_EQ(Get("S", "missing", "defaultvalue", 5), "defa");
  EXPECT_EQ(Get("S", std::nullopt, "", 16), "K\0LongKeyName\0"s);
  EXPECT_EQ(Get("S", std::nullopt, "", 8), "K\0Long"s);
  EXPECT_EQ(Get("S", std::nullopt, "", 1), "");
}

TEST_F(ProfileRead, SectionNamesIntoCallerBuffer) {
  Write("[One]\n[Two]\n[three]\n");
  std::string buffer(12, '#');
  EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(buffer, 100, ini_),
            10);  // size clamped to 12
  EXPECT_EQ(buffer, "One\0Two\0th\0\0"s);
  std::string roomy(32, '#');
  EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(roomy, 32, ini_), 14);
  EXPECT_EQ(roomy.substr(0, 16), "One\0Two\0three\0\0#"s);
  EXPECT_EQ(GETPVPROFSECTIONNAMES(ini_), (std::vector<std::string>{"One", "Two", "three"}));
}

TEST_F(ProfileRead, ListingsOfEmptyAndMissingParts) {
  EXPECT_TRUE(GETPVPROFSECTIONNAMES(ini_).empty());
  Write("; only a comment\nk=v\n");
  EXPECT_TRUE(GETPVPROFSECTIONNAMES(ini_).empty());
  EXPECT_TRUE(GETPVPROFSECTION("k", ini_).empty());
  Write("[S]\nalpha=1\n  Beta  = 2\n[Empty]\n");
  EXPECT_EQ(GETPVPROFSECTION("s", ini_), (std::vector<std::string>{"alpha", "Beta"}));
  EXPECT_TRUE(GETPVPROFSECTION("Empty", ini_).empty());
  EXPECT_TRUE(GETPVPROFSECTION("Nope", ini_).empty());
}

TEST_F(ProfileRead, LongKeyNamesWrapAt79) {
  const std::string words = std::string(70, 'a') + " " + std::string(20, 'b');
  const std::string solid(100, 'c');
  Write("[S]\n" + words + "=1\n" + solid + "=2\n");
  EXPECT_EQ(GETPVPROFSECTION("S", ini_),
            (std::vector<std::string>{std::string(70, 'a'), std::string(20, 'b'),
                                      std::string(79, 'c'), std::string(21, 'c')}));
}

}  // namespace
}  // namespace talvi::fs
