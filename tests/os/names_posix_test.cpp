// SPDX-License-Identifier: MIT
// Accented names: the program's 1252 text meets the UTF-8 names of Linux in
// the path translation, both ways.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "os/find.h"
#include "os/path.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

TEST(NativeNames, AccentsBecomeUtf8AndComeBackAs1252) {
  ::unsetenv("TALVI_NET_DIR");
  EXPECT_EQ(NativePath("C:\\Dati\\Citt\xE0\\disco \x80.opd"),
            "/Dati/Citt\xC3\xA0/disco \xE2\x82\xAC.opd");
  // The network folder is a native name already: it is not converted twice.
  ::setenv("TALVI_NET_DIR", "/srv/rete\xC3\xA0", 1);
  EXPECT_EQ(NativePath("C:\\ORVA\\NET\\caff\xE8.usr"), "/srv/rete\xC3\xA0/caff\xC3\xA8.usr");
  ::unsetenv("TALVI_NET_DIR");
  EXPECT_EQ(ProgramPath("/Dati/Citt\xC3\xA0"), "/Dati/Citt\xE0");
  EXPECT_TRUE(ProgramCanHold("/Dati/Citt\xC3\xA0"));
  EXPECT_EQ(NativePath(ProgramPath("/Dati/Citt\xC3\xA0")), "/Dati/Citt\xC3\xA0");
  // What 1252 cannot hold is marked, and said so.
  EXPECT_EQ(ProgramPath("/\xC5\x81\xC3\xB3"
                        "d\xC5\xBA"),
            "/?\xF3"
            "d?");
  EXPECT_FALSE(
      ProgramCanHold("/\xC5\x81\xC3\xB3"
                     "d\xC5\xBA"));
  EXPECT_FALSE(ProgramCanHold("citt\xE0"));  // raw 1252 bytes are no Linux name
}

TEST(NativeNames, SearchesGiveAndMatch1252Names) {
  TempDir dir;
  WriteBytes(dir / "citt\xC3\xA0.opd", "a");
  WriteBytes(dir /
                 "\xC5\x81\xC3\xB3"
                 "d\xC5\xBA.opd",
             "b");
  WriteBytes(dir / "plain.opd", "c");
  std::vector<std::string> names;
  FindData d;
  // An upper-case accented letter in the mask finds the lower-case one.
  FindHandle h = FindFirstEntry(NativePath(dir.path().string() + "\\CITT\xC0*"), d);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(d.name, "citt\xE0.opd");
  EXPECT_FALSE(FindNextEntry(h, d));
  FindCloseSearch(h);

  h = FindFirstEntry(NativePath(dir.path().string() + "\\*.opd"), d);
  ASSERT_NE(h, kInvalidFind);
  do {
    names.push_back(d.name);
    EXPECT_EQ(d.size, 1u) << d.name;  // described from the real file
  } while (FindNextEntry(h, d));
  FindCloseSearch(h);
  EXPECT_EQ(names, (std::vector<std::string>{"?\xF3"
                                             "d?.opd",
                                             "citt\xE0.opd", "plain.opd"}));
}

}  // namespace
}  // namespace talvi::os
