// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>

#include "fs/attributes.h"
#include "fs/files.h"
#include "fs/find.h"
#include "fs/hooks.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

TEST(AttributeHelpers, ChangeOnlyTheOneBit) {
  TempDir dir;
  const std::string f = dir / "f";
  WriteBytes(f, "");
  // Wine reports the archive bit of every plain file, whatever was set.
  const std::int64_t archive = talvi::testing::UnderWine() ? 0x20 : 0;
  ASSERT_TRUE(SETFILEATTRIBUTES(f, 1 | 4));
  SETHIDDEN(f);
  EXPECT_EQ(GETFILEATTRIBUTES(f) & ~archive, 1 | 2 | 4);
  CLEARREADONLY(f);
  EXPECT_EQ(GETFILEATTRIBUTES(f) & ~archive, 2 | 4);
  CLEARHIDDEN(f);
  EXPECT_EQ(GETFILEATTRIBUTES(f) & ~archive, 4);

  const std::string missing = dir / "missing";
  EXPECT_EQ(GETFILEATTRIBUTES(missing), -1);
  SETHIDDEN(missing);
  CLEARREADONLY(missing);
  CLEARHIDDEN(missing);
  EXPECT_FALSE(sfs::exists(missing));
  EXPECT_FALSE(SETFILEATTRIBUTES(missing, -2));
}

TEST(FileHelpers, CopyMoveDeleteWithWindowsStylePaths) {
  TempDir dir;
  const std::string d = dir.path().string();
  int refreshes = 0;
  SetRefreshHook([&] { ++refreshes; });
  WriteBytes(d + "/a", "new");
  WriteBytes(d + "/b", "old");
  EXPECT_TRUE(COPYFILE(d + "\\a", d + "\\b"));
  SetRefreshHook(nullptr);
  EXPECT_EQ(ReadBytes(d + "/b"), "new");
  // The installed refresh hook keeps windows alive; Windows' CopyFileExA
  // reports progress at least once, Wine's never calls the progress routine.
  if (!talvi::testing::UnderWine()) {
    EXPECT_GT(refreshes, 0);
  }

  EXPECT_FALSE(MOVEFILE(d + "\\a", d + "\\b"));
  EXPECT_TRUE(MOVEFILE(d + "\\a", d + "\\c"));
  EXPECT_TRUE(DELETEFILE(d + "\\c"));
  EXPECT_FALSE(DELETEFILE(d + "\\c"));
  EXPECT_TRUE(CREATEDIR(d + "\\sub"));
  EXPECT_TRUE(REMOVEDIR(d + "\\sub"));
  EXPECT_FALSE(REMOVEDIR(d + "\\sub"));
}

TEST(FileHelpers, FullNameAndCurrentFolder) {
  TempDir dir;
  const auto before = sfs::current_path();
  ASSERT_TRUE(SETCURDIR(dir.path().string()));
  const std::string cwd = sfs::current_path().string();
  const std::string full = FULLNAME(".\\TALVI.INI");
  const std::string up = FULLNAME("x\\..\\Talvi.Ini");
  const std::string too_long = FULLNAME(std::string(300, 'n'));
  sfs::current_path(before);
  // The system's own separator joins folder and name.
  EXPECT_EQ(full, (sfs::path(cwd) / "TALVI.INI").string());
  EXPECT_EQ(up, (sfs::path(cwd) / "Talvi.Ini").string());
  EXPECT_EQ(too_long, "");
  EXPECT_FALSE(SETCURDIR(dir / "missing"));
  EXPECT_GT(DISKFREESPACE(dir.path().string()), 0);
  EXPECT_EQ(GETDRIVETYPE(dir / "missing"), 1);
}

TEST(FindFile, FillsTheRecordInPlace) {
  TempDir dir;
  WriteBytes(dir / "one.opd", std::string(4608, 'x'));
  WriteBytes(dir / "two.OPD", "");
  WriteBytes(dir / "three.txt", "");
  Win32FindData rec = OWIN32FINDDATA();
  ASSERT_EQ(rec.cBuffer.size(), 318u);

  const std::int64_t h = FINDFIRSTFILE(dir.path().string() + "\\*.opd", rec.cBuffer);
  ASSERT_NE(h, -1);
  EXPECT_EQ(rec.cFileName(), "one.opd");
  EXPECT_EQ(rec.nFileSizeL(), 4608u);
  EXPECT_EQ(rec.nFileSizeH(), 0u);
  // A new file: "normal" on Linux; Windows marks it for archiving.
  EXPECT_EQ(rec.nFileAttr(), talvi::testing::kOnWindows ? 0x20u : 0x80u);
  EXPECT_EQ(rec.cLastWTime().size(), 8u);
  EXPECT_NE(rec.cLastWTime(), std::string(8, '\0'));
  EXPECT_EQ(rec.cShortName(), "");
  EXPECT_TRUE(FINDNEXTFILE(h, rec.cBuffer));
  EXPECT_EQ(rec.cFileName(), "two.OPD");
  EXPECT_EQ(rec.nFileSizeL(), 0u);
  EXPECT_FALSE(FINDNEXTFILE(h, rec.cBuffer));
  EXPECT_TRUE(FINDCLOSE(h));

  std::string small;  // a short buffer is lengthened, never overrun
  const std::int64_t h2 = FINDFIRSTFILE(dir / "three.txt", small);
  ASSERT_NE(h2, -1);
  EXPECT_EQ(small.size(), 318u);
  FINDCLOSE(h2);
  EXPECT_EQ(FINDFIRSTFILE(dir / "*.none", small), -1);
}

}  // namespace
}  // namespace talvi::fs
