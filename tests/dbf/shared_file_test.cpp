// SPDX-License-Identifier: MIT
// Share modes and byte-range locks between opens of one process: they must
// behave like two Windows handles.
#include "os/shared_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace talvi::os {
namespace {

constexpr std::uint64_t kBase = 4'000'000'000;

std::unique_ptr<SharedFile> OpenOk(const std::string& path, const OpenMode& mode) {
  int oscode = -1;
  auto f = SharedFile::Open(path, mode, oscode);
  EXPECT_NE(f, nullptr) << path << " oscode " << oscode;
  EXPECT_EQ(oscode, 0);
  return f;
}

int OpenCode(const std::string& path, const OpenMode& mode) {
  int oscode = -1;
  auto f = SharedFile::Open(path, mode, oscode);
  return f ? 0 : oscode;
}

class SharedFileTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteBytes(path_, "0123456789"); }
  testing::TempDir dir_;
  std::string path_ = dir_ / "T.DBF";
};

TEST_F(SharedFileTest, ShareModesRefuseLikeWindows) {
  {
    auto ex = OpenOk(path_, ExclusiveMode(false));
    EXPECT_EQ(OpenCode(path_, SharedMode(false)), kOsSharingViolation);
    EXPECT_EQ(OpenCode(path_, SharedMode(true)), kOsSharingViolation);
    EXPECT_EQ(OpenCode(path_, ExclusiveMode(true)), kOsSharingViolation);
  }
  // Closing the exclusive open lets everyone in again.
  auto a = OpenOk(path_, SharedMode(false));
  auto b = OpenOk(path_, SharedMode(true));
  EXPECT_EQ(OpenCode(path_, ExclusiveMode(false)), kOsSharingViolation);
  // Reading with exclusive sharing (how NETUSED asks) fails while any
  // open lives.
  EXPECT_EQ(OpenCode(path_, ExclusiveMode(true)), kOsSharingViolation);
  a.reset();
  b.reset();
  EXPECT_EQ(OpenCode(path_, ExclusiveMode(true)), 0);

  // Deny-write: a reader that shares reading only keeps writers out but
  // lets other readers in; a writer already there keeps it out.
  OpenMode deny_write = SharedMode(true);
  deny_write.share_write = false;
  {
    auto r = OpenOk(path_, deny_write);
    EXPECT_EQ(OpenCode(path_, SharedMode(true)), 0);
    EXPECT_EQ(OpenCode(path_, SharedMode(false)), kOsSharingViolation);
  }
  auto w = OpenOk(path_, SharedMode(false));
  EXPECT_EQ(OpenCode(path_, deny_write), kOsSharingViolation);
}

TEST_F(SharedFileTest, OpenFailuresCarryWindowsCodes) {
  EXPECT_EQ(OpenCode(dir_ / "MISSING.DBF", SharedMode(false)), kOsFileNotFound);
  EXPECT_EQ(OpenCode(dir_ / "NOFOLDER/X.DBF", SharedMode(false)), kOsPathNotFound);
  EXPECT_EQ(OpenCode(dir_.path().string(), SharedMode(true)), kOsAccessDenied);
  OpenMode create = ExclusiveMode(false);
  create.create = true;
  create.truncate = true;
  auto f = OpenOk(dir_ / "NEW.DBF", create);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Size(), 0);
}

TEST_F(SharedFileTest, LocksOfTwoOpensExcludeEachOtherAndSurviveTheOtherClosing) {
  auto a = OpenOk(path_, SharedMode(false));
  auto b = OpenOk(path_, SharedMode(false));
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->TryLock(kBase + 7, 1));
  EXPECT_FALSE(b->TryLock(kBase + 7, 1));
  EXPECT_EQ(b->LastError(), kOsLockViolation);
  EXPECT_TRUE(b->TryLock(kBase + 8, 1));
  // The whole region overlaps both record locks.
  EXPECT_FALSE(b->TryLock(kBase, 294'967'295));
  // A third open of the same file closed again must not drop a's lock (a
  // process-wide fcntl lock would be gone now).
  { auto c = OpenOk(path_, SharedMode(true)); }
  EXPECT_FALSE(b->TryLock(kBase + 7, 1));
  ASSERT_TRUE(a->Unlock(kBase + 7, 1));
  EXPECT_TRUE(b->TryLock(kBase + 7, 1));
  ASSERT_TRUE(b->Unlock(kBase + 7, 1));
  ASSERT_TRUE(b->Unlock(kBase + 8, 1));
  EXPECT_TRUE(a->TryLock(kBase, 294'967'295));
  EXPECT_FALSE(b->TryLock(kBase + 4'000, 1));
  // The top byte of the 32-bit space is inside the region.
  EXPECT_FALSE(b->TryLock(kBase + 294'967'294, 1));
  EXPECT_TRUE(b->TryLock(kBase + 294'967'295, 1));
}

TEST_F(SharedFileTest, ReadOnlyOpenWritesNothingButStillLocks) {
  auto r = OpenOk(path_, SharedMode(true));
  auto w = OpenOk(path_, SharedMode(false));
  ASSERT_TRUE(r && w);
  EXPECT_FALSE(r->WriteAt(0, "X", 1));
  EXPECT_FALSE(r->Truncate(0));
  EXPECT_EQ(testing::ReadBytes(path_), "0123456789");
  ASSERT_TRUE(r->TryLock(kBase + 1, 1));
  EXPECT_FALSE(w->TryLock(kBase + 1, 1));
}

// A file written beside takes the place of an open one and stays open in
// its place, held in its share mode: nobody gets in between.
TEST_F(SharedFileTest, ReplaceLeavesTheOpenOnTheNewFileUnderTheOldName) {
  auto target = OpenOk(path_, ExclusiveMode(false));
  OpenMode mode = ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  mode.share_delete = true;
  const std::string beside = path_ + ".new";
  auto fresh = OpenOk(beside, mode);
  ASSERT_TRUE(fresh->WriteAt(0, "fresh", 5));
  int oscode = -1;
  ASSERT_TRUE(SharedFile::Replace(target, std::move(fresh), oscode));
  EXPECT_EQ(oscode, 0);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->path(), path_);
  char got[8] = {};
  EXPECT_EQ(target->ReadAt(0, got, sizeof got), 5);
  EXPECT_EQ(std::string(got, 5), "fresh");
  EXPECT_TRUE(target->WriteAt(5, "!", 1));
  EXPECT_EQ(OpenCode(path_, SharedMode(true)), kOsSharingViolation);
  target.reset();
  EXPECT_EQ(testing::ReadBytes(path_), "fresh!");
  EXPECT_EQ(OpenCode(beside, SharedMode(true)), kOsFileNotFound);
}

TEST_F(SharedFileTest, OffsetsBeyondFourGiB) {
  auto f = OpenOk(path_, ExclusiveMode(false));
  ASSERT_NE(f, nullptr);
  const std::uint64_t far = (std::uint64_t{5} << 30) + 3;  // sparse where possible
  ASSERT_TRUE(f->WriteAt(far, "END", 3));
  EXPECT_EQ(f->Size(), static_cast<std::int64_t>(far + 3));
  char buf[8] = {};
  EXPECT_EQ(f->ReadAt(far - 1, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf + 1, 3), "END");
  EXPECT_EQ(f->ReadAt(0, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  ASSERT_TRUE(f->Truncate(4));
  EXPECT_EQ(f->Size(), 4);
}

}  // namespace
}  // namespace talvi::os
