// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fs/profile.h"
#include "fs/profile_write_fixture.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

// Wine's writer loads the file and writes it back in its own layout (CRLF
// endings, no blanks around '=', blank lines dropped), where Windows keeps
// every line the write does not concern byte for byte.
constexpr const char* kWineLayout =
    "Wine's WritePrivateProfileStringA rewrites untouched lines (docs/windows-testing.md)";

TEST_F(ProfileWrite, CreatesFileWithCrLfInCurrentFolder) {
  const sfs::path before = sfs::current_path();
  sfs::current_path(dir_.path());
  const bool ok = WRITEPPROSTRING("Impostazioni", "Porta", "COM1", ".\\TALVI.INI");
  const std::string read = GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\TALVI.INI");
  sfs::current_path(before);
  EXPECT_TRUE(ok);
  EXPECT_EQ(read, "COM1");
  EXPECT_EQ(ReadBytes(dir_ / "TALVI.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
  EXPECT_EQ(EntryCount(), 1u);  // no temporary file left behind
}

TEST_F(ProfileWrite, ReplaceInPlaceKeepsEverythingElseByteForByte) {
  if (talvi::testing::UnderWine()) GTEST_SKIP() << kWineLayout;
  const std::string head = "; settings\r\n\n[Impostazioni]\r\n";
  const std::string tail = "\rOther = x \r\n\r\n[Next]\nA=1";
  WriteBytes(ini_, head + "  porta = COM3 " + tail);
  EXPECT_TRUE(Put("IMPOSTAZIONI", "Porta", "COM7"));
  EXPECT_EQ(ReadBytes(ini_), head + "porta=COM7" + tail);
}

TEST_F(ProfileWrite, NewKeyAfterSectionsLastKey) {
  if (talvi::testing::UnderWine()) GTEST_SKIP() << kWineLayout;
  WriteBytes(ini_, "[A]\nx=1\n; note\ny=2\n\n; about B\n[B]\nz=3");
  EXPECT_TRUE(Put("a", "New", "v"));
  EXPECT_TRUE(Put("B", "w", "4"));
  EXPECT_EQ(ReadBytes(ini_), "[A]\nx=1\n; note\ny=2\nNew=v\n\n; about B\n[B]\nz=3\nw=4\n");
  WriteBytes(ini_, "[Empty]\r\n\r\n[Z]\r\n");
  EXPECT_TRUE(Put("Empty", "k", "v"));
  EXPECT_EQ(ReadBytes(ini_), "[Empty]\r\nk=v\r\n\r\n[Z]\r\n");
}

TEST_F(ProfileWrite, NewSectionAtEndAddsMissingLineEnding) {
  WriteBytes(ini_, "[A]\r\nx=1");
  EXPECT_TRUE(Put("B", "y", "2"));
  EXPECT_EQ(ReadBytes(ini_), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
}

TEST_F(ProfileWrite, NullValueDeletesKeyNullKeyDeletesSection) {
  if (talvi::testing::UnderWine()) GTEST_SKIP() << kWineLayout;
  WriteBytes(ini_, "[A]\nx=1\ny=2\n[B]\n; b\nz=3\n[C]\nw=4\n");
  EXPECT_TRUE(Put("A", "X", std::nullopt));
  EXPECT_EQ(ReadBytes(ini_), "[A]\ny=2\n[B]\n; b\nz=3\n[C]\nw=4\n");
  EXPECT_TRUE(Put("b", std::nullopt, std::nullopt));
  EXPECT_EQ(ReadBytes(ini_), "[A]\ny=2\n[C]\nw=4\n");
  EXPECT_TRUE(Put("A", "absent", std::nullopt));
  EXPECT_TRUE(Put("Absent", std::nullopt, std::nullopt));
  EXPECT_EQ(ReadBytes(ini_), "[A]\ny=2\n[C]\nw=4\n");
  EXPECT_FALSE(Put(std::nullopt, "k", "v"));
}

TEST_F(ProfileWrite, DeletingFromMissingFileCreatesNothing) {
  EXPECT_TRUE(Put("A", "k", std::nullopt));
  EXPECT_TRUE(Put("A", std::nullopt, std::nullopt));
  EXPECT_FALSE(sfs::exists(ini_));
}

TEST_F(ProfileWrite, ReadOnlyFileIsRefusedAndKept) {
  // Root ignores permission bits when writing, so this checks the refusal
  // made from the read-only attribute (no write permission for the owner).
  WriteBytes(ini_, "[A]\nk=1\n");
  sfs::permissions(ini_, sfs::perms::owner_read | sfs::perms::group_read);
  if (talvi::testing::UnderWine() && std::ofstream(ini_, std::ios::app).is_open()) {
    GTEST_SKIP() << "Wine run by root: the read-only attribute is a permission bit that root "
                    "ignores";
  }
  EXPECT_FALSE(Put("A", "k", "2"));
  EXPECT_EQ(ReadBytes(ini_), "[A]\nk=1\n");
}

TEST_F(ProfileWrite, FailuresReportFalseAndLeaveNoFile) {
  EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", dir_ / "no/such/dir/t.ini"));
  sfs::create_directory(dir_ / "folder.ini");
  EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", dir_ / "folder.ini"));
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ProfileWrite, EntriesThatWouldBreakOtherLinesAreRefused) {
  WriteBytes(ini_, "[A]\nk=1\n");
  EXPECT_FALSE(Put("A", "k", "2\r\n[Evil]\nx=1"));
  EXPECT_FALSE(Put("A", "a=b", "1"));
  EXPECT_FALSE(Put("A", "; c", "1"));
  EXPECT_FALSE(Put("A", "  ", "1"));
  EXPECT_FALSE(Put("A]x", "k", "1"));
  EXPECT_FALSE(Put("A\n", std::nullopt, std::nullopt));
  EXPECT_EQ(ReadBytes(ini_), "[A]\nk=1\n");
  EXPECT_TRUE(Put("A", "k", "a=b;c \"d\""));
  EXPECT_EQ(GetPrivateProfileString("A", "k", "", 100, ini_), "a=b;c \"d\"");
}

}  // namespace
}  // namespace talvi::fs
