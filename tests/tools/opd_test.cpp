// SPDX-License-Identifier: MIT
// opd on disk images as talvi writes them from what the simulated remote
// sends: layout, sides of one value, single flipped bytes, a short track,
// files that are no image; and the program itself with its exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "app/image_file.h"
#include "opd/diff.h"
#include "opd/image.h"
#include "remote/image.h"
#include "support/temp_dir.h"

namespace talvi::opd {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::size_t kSide = 4608;

// The file talvi saves for a disk of `sides` track sides from the remote.
std::string Disk(int sides, std::uint32_t seed = 7) {
  return app::ImageFileBytes(remote::generateImage(sides, seed));
}

// Flips the bits `mask` of byte `at`.
void Flip(std::string& bytes, std::size_t at, unsigned mask) {
  bytes[at] = static_cast<char>(static_cast<unsigned char>(bytes[at]) ^ mask);
}

struct Outcome {
  int status = -1;
  std::string out;
};

// opd run as a program, its standard error joined to its output.
Outcome Opd(const std::string& args) {
  Outcome run;
  FILE* p = ::popen((std::string(OPD_TOOL) + " " + args + " 2>&1").c_str(), "r");
  if (p == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) run.out += buf;
  const int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(OpdImage, LayoutOfAWholeDiskAndOfAShortOne) {
  const std::string disk = Disk(160);
  ASSERT_EQ(disk.size(), 160 * kSide);
  EXPECT_EQ(SideBytes(), kSide);
  EXPECT_EQ(WholeSides(disk), 160u);
  EXPECT_EQ(ExtraBytes(disk), 0u);
  EXPECT_TRUE(HasFixedBlock(disk));
  EXPECT_EQ(Side(disk, 159), std::string_view(disk).substr(159 * kSide));
  EXPECT_TRUE(Side(disk, 160).empty());
  EXPECT_EQ(SideLabel(5), "side 5 (track 2, side 1)");

  // Three bytes of side 4 never came: the file is three bytes short.
  std::string shortDisk = disk;
  shortDisk.erase(4 * kSide + 100, 3);
  EXPECT_EQ(WholeSides(shortDisk), 159u);
  EXPECT_EQ(ExtraBytes(shortDisk), kSide - 3);
  EXPECT_EQ(SideCount(shortDisk), 160u);
  EXPECT_EQ(Side(shortDisk, 159).size(), kSide - 3);

  std::string raw = remote::generateImage(2, 3);
  EXPECT_FALSE(HasFixedBlock(raw));
}

TEST(OpdImage, SidesOfOneValueAreFoundTheFirstAfterTheFixedBlock) {
  std::string disk = Disk(8);
  EXPECT_TRUE(UniformSides(disk).empty());
  disk.replace(3 * kSide, kSide, kSide, '\xE5');
  disk.replace(128, kSide - 128, kSide - 128, '\0');  // side 0 behind the block
  disk.replace(7 * kSide, kSide, kSide, '\0');
  disk[7 * kSide + kSide - 1] = 1;  // one byte off: not uniform
  const auto uniform = UniformSides(disk);
  ASSERT_EQ(uniform.size(), 2u);
  EXPECT_EQ(uniform[0].index, 0u);
  EXPECT_EQ(uniform[0].value, 0);
  EXPECT_EQ(uniform[1].index, 3u);
  EXPECT_EQ(uniform[1].value, 0xE5);
}

TEST(OpdDiff, FlippedBytesAreListedBySideAndRange) {
  const std::string a = Disk(160);
  EXPECT_TRUE(Compare(a, a).sides.empty());
  EXPECT_FALSE(Compare(a, a).missing);

  std::string b = a;
  Flip(b, 17 * kSide + 1234, 0x01);                                         // one bit
  Flip(b, 40 * kSide, 0x80);                                                // first byte of a side
  for (std::size_t i = 4000; i < 4004; ++i) Flip(b, 40 * kSide + i, 0x55);  // a run
  Flip(b, 159 * kSide + kSide - 1, 0x10);                                   // the very last byte
  const Comparison c = Compare(a, b);
  EXPECT_FALSE(c.missing);
  ASSERT_EQ(c.sides.size(), 3u);
  EXPECT_EQ(c.sides[0].index, 17u);
  ASSERT_EQ(c.sides[0].ranges.size(), 1u);
  EXPECT_EQ(c.sides[0].ranges[0].begin, 1234u);
  EXPECT_EQ(c.sides[0].ranges[0].end, 1235u);
  EXPECT_EQ(c.sides[1].index, 40u);
  ASSERT_EQ(c.sides[1].ranges.size(), 2u);
  EXPECT_EQ(c.sides[1].ranges[0].begin, 0u);
  EXPECT_EQ(c.sides[1].ranges[1].begin, 4000u);
  EXPECT_EQ(c.sides[1].ranges[1].end, 4004u);
  EXPECT_EQ(c.sides[1].bytes, 5u);
  EXPECT_EQ(c.sides[2].index, 159u);
  EXPECT_EQ(c.sides[2].ranges[0].begin, kSide - 1);
}

TEST(OpdDiff, AShortTrackIsToldFromCorruption) {
  const std::string a = Disk(20);
  std::string b = a;
  b.erase(9 * kSide + 2000, 5);
  const Comparison c = Compare(a, b);
  ASSERT_TRUE(c.missing);
  EXPECT_TRUE(c.missing->secondIsShorter);
  EXPECT_EQ(c.missing->missing, 5u);
  // The first byte that differs is where the gap is, give or take bytes that
  // happen to repeat.
  EXPECT_GE(c.missing->offset, 9 * kSide + 2000 - 2);
  EXPECT_LE(c.missing->offset, 9 * kSide + 2000 + 5);
  EXPECT_TRUE(c.sides.empty());
  // The other way round.
  const Comparison r = Compare(b, a);
  ASSERT_TRUE(r.missing);
  EXPECT_FALSE(r.missing->secondIsShorter);

  // Short and flipped as well: not explained by the gap alone, so the sides
  // are compared as they stand.
  Flip(b, 2 * kSide + 10, 1);
  const Comparison both = Compare(a, b);
  EXPECT_FALSE(both.missing);
  ASSERT_FALSE(both.sides.empty());
  EXPECT_EQ(both.sides[0].index, 2u);
}

TEST(OpdLoad, FilesThatAreNoImageAreRefusedWithAReason) {
  TempDir dir;
  std::string bytes;
  std::string error;
  const auto refused = [&](const std::string& path, const std::string& words) {
    error.clear();
    EXPECT_FALSE(LoadImage(path, bytes, error)) << path;
    EXPECT_NE(error.find(words), std::string::npos) << error;
  };
  refused(dir / "none.opd", "no such file");
  refused(dir.path().string(), "a folder");
  WriteBytes(dir / "empty.opd", "");
  refused(dir / "empty.opd", "empty");
  WriteBytes(dir / "tiny.opd", std::string(100, 'x'));
  refused(dir / "tiny.opd", "shorter than the fixed block");
  WriteBytes(dir / "readme.txt", "TALVI receives floppy-disk images\n" + std::string(300, '.'));
  refused(dir / "readme.txt", "not a disk image");
  WriteBytes(dir / "huge.opd", std::string((kMaxSides + 1) * kSide, '\0'));
  refused(dir / "huge.opd", "too large");

  // Taken: a disk as talvi writes it (also a short one), and a raw dump of
  // whole sides without the block.
  WriteBytes(dir / "disk.opd", Disk(4));
  EXPECT_TRUE(LoadImage(dir / "disk.opd", bytes, error)) << error;
  EXPECT_EQ(bytes, Disk(4));
  WriteBytes(dir / "short.opd", Disk(4).substr(0, 3 * kSide + 17));
  EXPECT_TRUE(LoadImage(dir / "short.opd", bytes, error)) << error;
  WriteBytes(dir / "raw.img", remote::generateImage(2, 5));
  EXPECT_TRUE(LoadImage(dir / "raw.img", bytes, error)) << error;
}

TEST(OpdProgram, InfoDiffAndSideWithTheirExitCodes) {
  TempDir dir;
  std::string disk = Disk(160);
  disk.replace(10 * kSide, kSide, kSide, '\0');
  WriteBytes(dir / "a.opd", disk);
  std::string flipped = disk;
  Flip(flipped, 33 * kSide + 77, 4);
  WriteBytes(dir / "b.opd", flipped);
  WriteBytes(dir / "note.txt", "not an image at all, just some words\n" + std::string(200, '-'));

  const Outcome info = Opd("info " + (dir / "a.opd"));
  EXPECT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("737280 bytes, 160 track sides of 4608 bytes"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("the fixed block"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("side 10 (track 5, side 0): all 0x00"), std::string::npos) << info.out;

  const Outcome same = Opd("diff " + (dir / "a.opd") + " " + (dir / "a.opd"));
  EXPECT_EQ(same.status, 0) << same.out;
  const Outcome diff = Opd("diff " + (dir / "a.opd") + " " + (dir / "b.opd"));
  EXPECT_EQ(diff.status, 1) << diff.out;
  EXPECT_NE(diff.out.find("side 33 (track 16, side 1): 1 byte differs at 77"), std::string::npos)
      << diff.out;

  WriteBytes(dir / "c.opd", disk.substr(0, 50 * kSide + 9) + disk.substr(50 * kSide + 11));
  const Outcome shortDiff = Opd("diff " + (dir / "a.opd") + " " + (dir / "c.opd"));
  EXPECT_EQ(shortDiff.status, 1) << shortDiff.out;
  EXPECT_NE(shortDiff.out.find("lacks 2 bytes from byte"), std::string::npos) << shortDiff.out;
  EXPECT_NE(shortDiff.out.find("side 50 (track 25, side 0)"), std::string::npos) << shortDiff.out;
  const Outcome shortInfo = Opd("info " + (dir / "c.opd"));
  EXPECT_NE(shortInfo.out.find("arrived 2 bytes short"), std::string::npos) << shortInfo.out;

  const Outcome side = Opd("side " + (dir / "b.opd") + " 33 " + (dir / "side33.bin"));
  EXPECT_EQ(side.status, 0) << side.out;
  EXPECT_EQ(ReadBytes(dir / "side33.bin"), flipped.substr(33 * kSide, kSide));
  const Outcome piped = Opd("side " + (dir / "b.opd") + " 159 > " + (dir / "side159.bin"));
  EXPECT_EQ(piped.status, 0) << piped.out;
  EXPECT_EQ(ReadBytes(dir / "side159.bin"), flipped.substr(159 * kSide));
  const Outcome past = Opd("side " + (dir / "b.opd") + " 160 " + (dir / "x.bin"));
  EXPECT_EQ(past.status, 2);
  EXPECT_NE(past.out.find("there is no side 160"), std::string::npos) << past.out;

  const Outcome notImage = Opd("info " + (dir / "note.txt"));
  EXPECT_EQ(notImage.status, 2);
  EXPECT_NE(notImage.out.find("not a disk image"), std::string::npos) << notImage.out;
  const Outcome missing = Opd("diff " + (dir / "a.opd") + " " + (dir / "gone.opd"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("no such file"), std::string::npos) << missing.out;
  EXPECT_EQ(Opd("side " + (dir / "a.opd") + " x").status, 64);
  EXPECT_EQ(Opd("frobnicate").status, 64);
}

}  // namespace
}  // namespace talvi::opd
