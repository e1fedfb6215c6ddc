// SPDX-License-Identifier: MIT
// Paths, drives and the temporary folder as Windows itself gives them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "os/drive.h"
#include "os/path.h"
#include "os/temp.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return std::string(buffer, n);
}

// Runs `body` with `folder` as the current folder, then goes back.
template <typename Body>
void InFolder(const std::string& folder, Body body) {
  const std::string before = CurrentFolder();
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str())) << folder;
  body();
  ::SetCurrentDirectoryA(before.c_str());
}

TEST(WindowsPath, WindowsPathsAreAlreadyNative) {
  EXPECT_EQ(NativePath("C:\\ORVA\\NET\\USER.USR"), "C:\\ORVA\\NET\\USER.USR");
  EXPECT_EQ(NativePath(".\\TALVI.INI"), ".\\TALVI.INI");
  EXPECT_EQ(NetworkFolder(), "C:\\ORVA\\NET");
  EXPECT_EQ(PathSeparator(), '\\');
}

TEST(WindowsPath, FullPathNameFromTheCurrentFolder) {
  talvi::testing::TempDir dir;
  InFolder(dir.path().string(), [&] {
    const std::string cwd = CurrentFolder();
    std::string out;
    EXPECT_EQ(FullPathName(".\\TALVI.INI", 4096, out), cwd.size() + 10);
    EXPECT_EQ(out, cwd + "\\TALVI.INI");
    FullPathName("x\\..\\Talvi.Ini", 4096, out);
    EXPECT_EQ(out, cwd + "\\Talvi.Ini");
    FullPathName("TALVI.INI", 4096, out);
    EXPECT_EQ(out, cwd + "\\TALVI.INI");
  });
  std::string out;
  FullPathName("C:\\a\\..\\..\\b", 100, out);
  EXPECT_EQ(out, "C:\\b");  // ".." stops at the root

  out = "untouched";
  EXPECT_EQ(FullPathName("C:\\abc\\def", 10, out), 11u);  // 10 characters and the terminator
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(FullPathName("C:\\abc\\def", 11, out), 10u);
  EXPECT_EQ(out, "C:\\abc\\def");
  EXPECT_EQ(FullPathName("", 100, out), 0u);
}

TEST(WindowsPath, CurrentDriveIsTheDriveOfTheCurrentFolder) {
  talvi::testing::TempDir dir;
  const std::string folder = dir.path().string();
  ASSERT_GE(folder.size(), 3u);
  ASSERT_EQ(folder[1], ':');
  InFolder(folder, [&] { EXPECT_EQ(CurrentDrive(), folder.substr(0, 2)); });
  InFolder("C:\\", [] { EXPECT_EQ(CurrentDrive(), "C:"); });
}

TEST(WindowsTemp, TheSystemsTempPathWithoutItsFinalBackslash) {
  char buffer[MAX_PATH + 1] = {};
  ASSERT_GT(::GetTempPathA(sizeof buffer, buffer), 0u);
  const std::string system = buffer;
  ASSERT_EQ(system.back(), '\\');
  EXPECT_EQ(TempFolder(), system.substr(0, system.size() - 1));

  // The system takes TMP first; a drive's root keeps its backslash.
  char old[MAX_PATH + 1] = {};
  const bool had = ::GetEnvironmentVariableA("TMP", old, sizeof old) > 0;
  talvi::testing::TempDir dir;
  ASSERT_TRUE(::SetEnvironmentVariableA("TMP", (dir.path().string() + "\\\\").c_str()));
  const std::string named = TempFolder();
  ASSERT_TRUE(::SetEnvironmentVariableA("TMP", "C:\\"));
  const std::string root = TempFolder();
  ::SetEnvironmentVariableA("TMP", had ? old : nullptr);
  EXPECT_EQ(named, dir.path().string());
  EXPECT_EQ(root, "C:\\");
}

TEST(WindowsDrive, TypesAndFreeSpace) {
  EXPECT_EQ(DriveType("C:\\"), kDriveFixed);
  talvi::testing::TempDir dir;
  EXPECT_EQ(DriveType(dir / "missing\\"), kDriveNoRootDir);
  EXPECT_GT(DiskFreeBytes("C:\\"), 0u);
  EXPECT_GT(DiskFreeBytes(dir.path().string()), 0u);
  EXPECT_EQ(DiskFreeBytes(dir / "missing"), 0u);
}

}  // namespace
}  // namespace talvi::os
