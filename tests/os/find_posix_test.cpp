// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "os/attributes.h"
#include "os/filetime.h"
#include "os/find.h"
#include "os/find_data.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

TEST(FindData, PackedLayout) {
  FindData d;
  d.attributes = 0x11223344;
  d.creation_time = 0x0102030405060708;
  d.access_time = 0x1112131415161718;
  d.write_time = 0x2122232425262728;
  d.size = 0x0000000500000007;
  d.reserved0 = 9;
  d.reserved1 = 10;
  d.name = "NAME.TXT";
  d.short_name = "SHORT~1.TXT";
  const std::string b = EncodeFindData(d);
  ASSERT_EQ(b.size(), 318u);
  EXPECT_EQ(b.substr(0, 4), "\x44\x33\x22\x11");
  EXPECT_EQ(b.substr(4, 8), "\x08\x07\x06\x05\x04\x03\x02\x01");
  EXPECT_EQ(b.substr(12, 8), "\x18\x17\x16\x15\x14\x13\x12\x11");
  EXPECT_EQ(b.substr(20, 8), "\x28\x27\x26\x25\x24\x23\x22\x21");
  EXPECT_EQ(b.substr(28, 4), std::string("\x05\0\0\0", 4));  // high size first
  EXPECT_EQ(b.substr(32, 4), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(b.substr(36, 8), std::string("\x09\0\0\0\x0A\0\0\0", 8));
  EXPECT_EQ(b.substr(44, 9), std::string("NAME.TXT\0", 9));
  EXPECT_EQ(b.substr(304, 12), std::string("SHORT~1.TXT\0", 12));

  const FindData back = DecodeFindData(b);
  EXPECT_EQ(back.attributes, d.attributes);
  EXPECT_EQ(back.write_time, d.write_time);
  EXPECT_EQ(back.size, d.size);
  EXPECT_EQ(back.name, d.name);
  EXPECT_EQ(back.short_name, d.short_name);

  d.name = std::string(300, 'n');  // kept to 259 bytes and a terminator
  const std::string cut = EncodeFindData(d);
  EXPECT_EQ(cut[44 + 258], 'n');
  EXPECT_EQ(cut[44 + 259], '\0');
}

TEST(FileTime, KnownInstants) {
  EXPECT_EQ(ToFileTime(timespec{0, 0}), 116444736000000000u);
  EXPECT_EQ(ToFileTime(timespec{1, 500}), 116444736010000005u);
  EXPECT_EQ(ToFileTime(timespec{-kFileTimeEpochOffset - 1, 0}), 0u);
  const timespec ts = FromFileTime(116444736010000005u);
  EXPECT_EQ(ts.tv_sec, 1);
  EXPECT_EQ(ts.tv_nsec, 500);
  EXPECT_EQ(FileTimeFromBytes(FileTimeBytes(0x0123456789ABCDEF)), 0x0123456789ABCDEFu);
}

TEST(FindEntries, MatchesInNameOrderWithStatData) {
  TempDir dir;
  WriteBytes(dir / "b.txt", "12345");
  WriteBytes(dir / "A.TXT", "");
  WriteBytes(dir / "c.dat", "x");
  std::filesystem::create_directory(dir / "Sub.txt");
  const timespec times[2] = {{1000000000, 0}, {1200000000, 700}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "b.txt").c_str(), times, 0), 0);

  FindData d;
  const FindHandle h = FindFirstEntry(dir / "*.TXT", d);
  ASSERT_NE(h, kInvalidFind);
  std::vector<FindData> found{d};
  while (FindNextEntry(h, d)) found.push_back(d);
  EXPECT_TRUE(FindCloseSearch(h));
  EXPECT_FALSE(FindNextEntry(h, d));
  EXPECT_FALSE(FindCloseSearch(h));

  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "A.TXT");
  EXPECT_EQ(found[1].name, "b.txt");
  EXPECT_EQ(found[1].size, 5u);
  EXPECT_EQ(found[1].write_time, ToFileTime(times[1]));
  EXPECT_EQ(found[1].access_time, ToFileTime(times[0]));
  EXPECT_EQ(found[1].attributes, kAttrNormal);
  EXPECT_EQ(found[2].name, "Sub.txt");
  EXPECT_EQ(found[2].attributes, kAttrDirectory);

  EXPECT_EQ(FindFirstEntry(dir / "*.none", d), kInvalidFind);
  EXPECT_EQ(FindFirstEntry(dir / "missing/*.*", d), kInvalidFind);
  const FindHandle all = FindFirstEntry(dir / "*.*", d);
  ASSERT_NE(all, kInvalidFind);
  EXPECT_EQ(d.name, ".");  // the folder's own entries come too
  FindCloseSearch(all);
}

}  // namespace
}  // namespace talvi::os
