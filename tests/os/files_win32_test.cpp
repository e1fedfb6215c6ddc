// SPDX-License-Identifier: MIT
// Attributes, copies, moves, times and find data on Windows, checked
// against what the system itself reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "os/attributes.h"
#include "os/files.h"
#include "os/find.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

// Wine reports the archive bit of every plain file, whatever was set; on
// Windows it is the system's to set on every write. Either way it is not
// what these cases are about.
std::int64_t Bits(const std::string& path) {
  const std::int64_t bits = ReadAttributes(path);
  return bits < 0 ? bits : bits & ~static_cast<std::int64_t>(kAttrArchive);
}

std::uint64_t WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

std::uint64_t AccessTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.ftLastAccessTime.dwHighDateTime} << 32) |
         data.ftLastAccessTime.dwLowDateTime;
}

void SetTimes(const std::string& path, std::uint64_t access, std::uint64_t write) {
  HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  const FILETIME a{static_cast<DWORD>(access), static_cast<DWORD>(access >> 32)};
  const FILETIME w{static_cast<DWORD>(write), static_cast<DWORD>(write >> 32)};
  EXPECT_TRUE(::SetFileTime(h, nullptr, &a, &w));
  ::CloseHandle(h);
}

// 2001-09-09 and 2004-01-10, as file times.
constexpr std::uint64_t kEarly = 126454752000000000u;
constexpr std::uint64_t kLater = 127183680000000000u;

TEST(WindowsAttributes, TheSystemsOwnBits) {
  TempDir dir;
  const std::string f = dir / "f.txt";
  WriteBytes(f, "x");
  ASSERT_TRUE(WriteAttributes(f, kAttrReadOnly | kAttrHidden | kAttrSystem));
  EXPECT_EQ(Bits(f), kAttrReadOnly | kAttrHidden | kAttrSystem);
  EXPECT_EQ(ReadAttributes(f), static_cast<std::int64_t>(::GetFileAttributesA(f.c_str())));
  ASSERT_TRUE(WriteAttributes(f, kAttrNormal));
  EXPECT_TRUE(Bits(f) == 0 || Bits(f) == kAttrNormal) << Bits(f);

  const std::string d = dir / "sub";
  ASSERT_TRUE(MakeDirectory(d));
  EXPECT_EQ(Bits(d), kAttrDirectory);
  ASSERT_TRUE(WriteAttributes(d, kAttrHidden));
  EXPECT_EQ(Bits(d), kAttrHidden | kAttrDirectory);

  EXPECT_EQ(ReadAttributes(dir / "missing"), -1);
  EXPECT_FALSE(WriteAttributes(dir / "missing", kAttrHidden));
}

TEST(WindowsFiles, CopyCarriesContentsAndWriteTime) {
  TempDir dir;
  const std::string src = dir / "src.bin";
  const std::string dst = dir / "dst.bin";
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteBytes(src, big);
  WriteBytes(dst, "old");
  SetTimes(src, kEarly, kLater);
  ASSERT_TRUE(CopyOneFile(src, dst, nullptr));
  EXPECT_TRUE(ReadBytes(dst) == big);
  EXPECT_EQ(WriteTime(dst), kLater);

  EXPECT_FALSE(CopyOneFile(dir / "missing", dst, nullptr));
  ASSERT_TRUE(MakeDirectory(dir / "folder"));
  EXPECT_FALSE(CopyOneFile(src, dir / "folder", nullptr));
  EXPECT_FALSE(CopyOneFile(dir / "folder", dir / "x", nullptr));
  EXPECT_TRUE(ReadBytes(dst) == big);
}

TEST(WindowsFiles, CopyCarriesAttributes) {
  if (talvi::testing::UnderWine()) {
    GTEST_SKIP() << "Wine's CopyFileExA does not copy the source's attributes";
  }
  TempDir dir;
  WriteBytes(dir / "src", "x");
  ASSERT_TRUE(WriteAttributes(dir / "src", kAttrSystem | kAttrHidden));
  ASSERT_TRUE(CopyOneFile(dir / "src", dir / "dst", nullptr));
  EXPECT_EQ(Bits(dir / "dst"), kAttrSystem | kAttrHidden);
}

TEST(WindowsFiles, MoveDeleteAndFolders) {
  TempDir dir;
  WriteBytes(dir / "a", "1");
  WriteBytes(dir / "b", "2");
  EXPECT_FALSE(MovePath(dir / "a", dir / "b"));  // never replaces
  EXPECT_TRUE(MovePath(dir / "a", dir / "c"));
  EXPECT_EQ(ReadBytes(dir / "c"), "1");
  EXPECT_EQ(ReadBytes(dir / "b"), "2");

  ASSERT_TRUE(WriteAttributes(dir / "c", kAttrReadOnly));
  EXPECT_FALSE(DeletePlainFile(dir / "c"));
  ASSERT_TRUE(WriteAttributes(dir / "c", kAttrNormal));
  EXPECT_TRUE(DeletePlainFile(dir / "c"));
  EXPECT_EQ(ReadAttributes(dir / "c"), -1);

  const std::string sub = dir / "sub";
  EXPECT_TRUE(MakeDirectory(sub));
  EXPECT_FALSE(MakeDirectory(sub));
  EXPECT_FALSE(MakeDirectory(dir / "x\\y"));
  EXPECT_FALSE(DeletePlainFile(sub));
  WriteBytes(sub + "\\f", "");
  EXPECT_FALSE(RemoveEmptyDirectory(sub));
  ASSERT_TRUE(DeletePlainFile(sub + "\\f"));
  EXPECT_TRUE(RemoveEmptyDirectory(sub));
  EXPECT_FALSE(ChangeDirectory(sub));
}

TEST(WindowsFiles, CopyLastWriteTimeMovesOnlyTheWriteTime) {
  TempDir dir;
  const std::string f1 = dir / "f1";
  const std::string f2 = dir / "f2";
  const std::string d2 = dir / "d2";
  WriteBytes(f1, "");
  WriteBytes(f2, "");
  ASSERT_TRUE(MakeDirectory(d2));
  SetTimes(f1, kEarly, kLater);
  SetTimes(f2, kEarly + 10000000, kEarly + 20000000);
  SetTimes(d2, kEarly + 30000000, kEarly + 40000000);

  EXPECT_TRUE(CopyLastWriteTime(f1, f2));
  EXPECT_EQ(WriteTime(f2), kLater);
  EXPECT_EQ(AccessTime(f2), kEarly + 10000000);
  EXPECT_TRUE(CopyLastWriteTime(f1, d2));
  EXPECT_EQ(WriteTime(d2), kLater);
  EXPECT_FALSE(CopyLastWriteTime(dir / "missing", f2));
  EXPECT_FALSE(CopyLastWriteTime(f1, dir / "missing"));
}

TEST(WindowsFind, EntriesCarryTheSystemsRecord) {
  TempDir dir;
  WriteBytes(dir / "b.txt", "12345");
  WriteBytes(dir / "A.TXT", "");
  WriteBytes(dir / "c.dat", "x");
  ASSERT_TRUE(MakeDirectory(dir / "Sub.txt"));
  SetTimes(dir / "b.txt", kEarly, kLater);

  FindData d;
  const FindHandle h = FindFirstEntry(dir / "*.TXT", d);
  ASSERT_NE(h, kInvalidFind);
  std::vector<FindData> found{d};
  while (FindNextEntry(h, d)) found.push_back(d);
  EXPECT_TRUE(FindCloseSearch(h));

  ASSERT_EQ(found.size(), 3u);
  for (const FindData& e : found) {
    const std::string path = dir / e.name;
    EXPECT_EQ(e.attributes, static_cast<std::uint32_t>(ReadAttributes(path))) << e.name;
    EXPECT_EQ(e.write_time, WriteTime(path)) << e.name;
    if (e.name == "b.txt") {
      EXPECT_EQ(e.size, 5u);
      EXPECT_EQ(e.write_time, kLater);
    }
    if (e.name == "Sub.txt") {
      EXPECT_NE(e.attributes & kAttrDirectory, 0u);
    }
  }
  EXPECT_EQ(FindFirstEntry(dir / "*.none", d), kInvalidFind);
  EXPECT_EQ(FindFirstEntry(dir / "missing\\*.*", d), kInvalidFind);
}

}  // namespace
}  // namespace talvi::os
