// SPDX-License-Identifier: MIT
// The start-up sweep of the library's leftover temporary files and folders,
// on real folders.
#include <gtest/gtest.h>

#include "lib/window/startup.h"
#include "os/path.h"
#include "startup_fixture.h"

namespace talvi::lib {
namespace {

using testing::WriteFile;
using testing::fs::exists;
namespace fs = std::filesystem;

const std::string M(1, kTempMarker);

using StartupSweep = testing::StartupFolders;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(StartupSweep, CurrentFolderLosesOnlyMarkerNamedPlainFiles) {
  for (const char* name : {"ABC.TMP", "", "nodot", "VIEW3.NTX"}) WriteFile(work_ / (M + name));
  for (const char* name : {"TALVI.INI", "disco1.opd", "A\x7F.TMP", " \x7F"})
    WriteFile(work_ / name);
  fs::create_directory(work_ / (M + "DIR"));
  WriteFile(work_ / (M + "DIR") / (M + "INSIDE"));
  WriteFile(work_ / (M + "HIDDEN"));
  testing::SetAttributes(work_ / (M + "HIDDEN"), os::kAttrHidden);
  WriteFile(work_ / (M + "SYSTEM"));
  testing::SetAttributes(work_ / (M + "SYSTEM"), os::kAttrSystem);
  WriteFile(work_ / (M + "READONLY"));
  testing::SetAttributes(work_ / (M + "READONLY"), os::kAttrReadOnly);
  WriteFile(work_ / (M + "ARCHIVE"));
  testing::SetAttributes(work_ / (M + "ARCHIVE"), os::kAttrArchive);  // an ordinary file

  Startup();

  for (const char* name : {"ABC.TMP", "", "nodot", "VIEW3.NTX", "ARCHIVE"}) {
    EXPECT_FALSE(exists(work_ / (M + name))) << name;
  }
  for (const char* name : {"TALVI.INI", "disco1.opd", "A\x7F.TMP", " \x7F"}) {
    EXPECT_TRUE(exists(work_ / name)) << name;
  }
  // Folders, hidden and system files, and files that cannot be erased stay.
  EXPECT_TRUE(exists(work_ / (M + "DIR") / (M + "INSIDE")));
  EXPECT_TRUE(exists(work_ / (M + "HIDDEN")));
  EXPECT_TRUE(exists(work_ / (M + "SYSTEM")));
  EXPECT_TRUE(exists(work_ / (M + "READONLY")));
}

TEST_F(StartupSweep, TempFolderLosesMarkerFoldersWithTheirFiles) {
  const fs::path gone = temp_ / (M + "SESSION");
  fs::create_directory(gone);
  for (const char* name : {"USER", "A.DBF", "B.CDX"}) WriteFile(gone / name);
  WriteFile(gone / "RO.TXT");
  testing::SetAttributes(gone / "RO.TXT", os::kAttrReadOnly);
  WriteFile(gone / "RH.TXT");
  testing::SetAttributes(gone / "RH.TXT", os::kAttrReadOnly | os::kAttrHidden);
  WriteFile(gone / "HID.TXT");
  testing::SetAttributes(gone / "HID.TXT", os::kAttrHidden);
  // A folder holding a sub-folder is emptied of its files but stays.
  const fs::path nested = temp_ / (M + "NESTED");
  fs::create_directories(nested / "SUB");
  WriteFile(nested / "A.TXT");
  WriteFile(nested / "SUB" / "B.TXT");
  // Not ours: a folder without the marker, a marker-named plain file.
  fs::create_directory(temp_ / "KEEP");
  WriteFile(temp_ / "KEEP" / (M + "X"));
  WriteFile(temp_ / (M + "PLAIN"));

  Startup();

  EXPECT_FALSE(exists(gone));
  EXPECT_TRUE(exists(nested / "SUB" / "B.TXT"));
  EXPECT_FALSE(exists(nested / "A.TXT"));
  EXPECT_TRUE(exists(temp_ / "KEEP" / (M + "X")));
  EXPECT_TRUE(exists(temp_ / (M + "PLAIN")));
}

// A link in TEMP, or in a marker folder, is an entry of its own: what it
// names is never emptied, erased or changed.
TEST_F(StartupSweep, LinksAreRemovedWithoutTouchingWhatTheyName) {
  const fs::path outside = root_ / "outside";
  fs::create_directory(outside);
  WriteFile(outside / "precious.txt", "precious");
  WriteFile(outside / "ro.txt", "ro");
  testing::SetAttributes(outside / "ro.txt", os::kAttrReadOnly | os::kAttrHidden);
  const auto ro_perms = fs::status(outside / "ro.txt").permissions();
  fs::create_directory_symlink(outside, temp_ / (M + "LINKED"));
  const fs::path ours = temp_ / (M + "OURS");
  fs::create_directory(ours);
  WriteFile(ours / "A.TXT");
  fs::create_symlink(outside / "ro.txt", ours / "RO.LNK");
  fs::create_directory_symlink(outside, ours / "DIR.LNK");

  Startup();

  EXPECT_FALSE(exists(fs::symlink_status(temp_ / (M + "LINKED"))));
  EXPECT_EQ(Slurp(outside / "precious.txt"), "precious");
  EXPECT_EQ(Slurp(outside / "ro.txt"), "ro");
  EXPECT_EQ(os::ReadAttributes((outside / "ro.txt").string()), os::kAttrReadOnly | os::kAttrHidden);
  EXPECT_EQ(fs::status(outside / "ro.txt").permissions(), ro_perms);
  // The marker folder lost its file and its file link; the folder link is
  // not a file for DELDIR, so the folder stays with it.
  EXPECT_FALSE(exists(ours / "A.TXT"));
  EXPECT_FALSE(exists(fs::symlink_status(ours / "RO.LNK")));
  EXPECT_TRUE(exists(fs::symlink_status(ours / "DIR.LNK")));
  // Called on a link, DELDIR leaves the folder it names alone.
  DELDIR((ours / "DIR.LNK").string());
  EXPECT_EQ(Slurp(outside / "precious.txt"), "precious");
}

TEST_F(StartupSweep, AFileThatCannotBeErasedStopsTheEmptyingOfItsFolder) {
  const fs::path folder = temp_ / (M + "STUCK");
  fs::create_directory(folder);
  for (const char* name : {"1.TXT", "2.TXT", "3.TXT"}) WriteFile(folder / name);
  if (!testing::SetImmutable(folder / "2.TXT", true)) {
    GTEST_SKIP() << "this file system cannot make a file immutable";
  }
  const fs::path next = temp_ / (M + "TTAIL");  // a later folder is still swept
  fs::create_directory(next);
  WriteFile(next / "Z.TXT");

  Startup();

  EXPECT_FALSE(exists(folder / "1.TXT"));
  EXPECT_TRUE(exists(folder / "2.TXT"));
  EXPECT_TRUE(exists(folder / "3.TXT"));  // not reached
  EXPECT_FALSE(exists(next));
}

TEST_F(StartupSweep, DeldirLeavesTheFolderAndItsSystemFiles) {
  const fs::path folder = root_ / "plain";
  fs::create_directory(folder);
  WriteFile(folder / "A");
  WriteFile(folder / ".hidden");
  WriteFile(folder / "SYS");
  testing::SetAttributes(folder / "SYS", os::kAttrSystem);
  DELDIR(folder.string());
  EXPECT_TRUE(exists(folder));
  EXPECT_FALSE(exists(folder / "A"));
  EXPECT_FALSE(exists(folder / ".hidden"));
  EXPECT_TRUE(exists(folder / "SYS"));
  DELDIR((root_ / "missing").string());  // nothing to do, no failure
}

// With TEMP unset the sweep looks in the root folder. The folder is checked,
// not swept: a test never erases in a folder that it did not make (the
// sweep itself is tested above on folders of the test's own).
TEST_F(StartupSweep, UnsetTempSweepsTheRootFolder) {
  unsetenv("TEMP");
  EXPECT_EQ(os::NativePath(TempSweepFolder()), "/");
  setenv("TEMP", "/var/tmp", 1);
  EXPECT_EQ(os::NativePath(TempSweepFolder()), "/var/tmp/");
}

}  // namespace
}  // namespace talvi::lib
