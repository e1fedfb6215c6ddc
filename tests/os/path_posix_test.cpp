// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "os/path.h"
#include "os/temp.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

TEST(NativePath, BackslashesDrivesAndTheNetworkFolder) {
  ::unsetenv("TALVI_NET_DIR");
  EXPECT_EQ(NativePath(".\\TALVI.INI"), "./TALVI.INI");
  EXPECT_EQ(NativePath("a\\b/c"), "a/b/c");
  EXPECT_EQ(NativePath("D:\\Dati\\x.opd"), "/Dati/x.opd");
  EXPECT_EQ(NativePath("d:rel"), "rel");
  EXPECT_EQ(NativePath("C:\\ORVA\\NET"), "/var/lib/talvi/net");
  EXPECT_EQ(NativePath("c:\\orva\\net\\USER.USR"), "/var/lib/talvi/net/USER.USR");
  EXPECT_EQ(NativePath("C:\\ORVA\\NETWORK"), "/ORVA/NETWORK");
  ::setenv("TALVI_NET_DIR", "/srv/net/", 1);
  EXPECT_EQ(NativePath("C:\\ORVA\\NET\\a"), "/srv/net/a");
  EXPECT_EQ(NetworkFolder(), "/srv/net/");
  ::unsetenv("TALVI_NET_DIR");
  EXPECT_EQ(CurrentDrive(), "\\");
}

TEST(FullPathName, ResolvesAgainstTheCurrentFolder) {
  talvi::testing::TempDir dir;
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string cwd = std::filesystem::current_path().string();
  std::string out;
  const std::size_t n1 = FullPathName("./TALVI.INI", 4096, out);
  const std::string r1 = out;
  FullPathName("Sub//../Mixed.Case/", 4096, out);
  const std::string r2 = out;
  std::filesystem::current_path(before);

  EXPECT_EQ(r1, cwd + "/TALVI.INI");
  EXPECT_EQ(n1, r1.size());
  EXPECT_EQ(r2, cwd + "/Mixed.Case/");
  ASSERT_GT(FullPathName("/a/../../../b", 100, out), 0u);
  EXPECT_EQ(out, "/b");
  FullPathName("/x/..", 100, out);
  EXPECT_EQ(out, "/");

  out = "untouched";
  EXPECT_EQ(FullPathName("/abc/def", 8, out),
            9u);  // 8 characters and the terminator
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(FullPathName("/abc/def", 9, out), 8u);
  EXPECT_EQ(out, "/abc/def");
  EXPECT_EQ(FullPathName("", 100, out), 0u);
}

TEST(TempFolder, FirstSetVariableWithoutTrailingSlash) {
  ::setenv("TEMP", "/t/temp//", 1);
  ::setenv("TMP", "/t/tmp", 1);
  EXPECT_EQ(TempFolder(), "/t/temp");
  ::setenv("TEMP", "", 1);
  EXPECT_EQ(TempFolder(), "/t/tmp");
  ::unsetenv("TEMP");
  ::unsetenv("TMP");
  ::setenv("TMPDIR", "/", 1);
  EXPECT_EQ(TempFolder(), "/");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempFolder(), "/tmp");
}

}  // namespace
}  // namespace talvi::os
