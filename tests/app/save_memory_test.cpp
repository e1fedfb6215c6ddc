// SPDX-License-Identifier: MIT
// What a long session keeps from its save steps, in bytes: the file chooser,
// the overwrite question and the written file of one disk leave nothing in
// the heap for the next. Widgets and objects are counted by the session's
// own test; this one also sees plain buffers (a kept image, a list of names
// that only grows). Qt's pixmap cache is emptied before each count: it keeps
// every chooser's freshly loaded icons by design, up to its cost limit.
#include <gtest/gtest.h>
#include <malloc.h>

#include <QPixmapCache>
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "app/modal_answers.h"
#include "app/save_image.h"
#include "support/temp_dir.h"
#include "ui/app.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TALVI_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TALVI_SANITIZER_HEAP 1
#endif
#endif
#ifdef TALVI_SANITIZER_HEAP
// The sanitizer runtimes' own count (GCC ships no header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace talvi::app {
namespace {

// Bytes the program holds on the heap (the sanitizer's allocator replaces
// malloc's under ASan and TSan).
long long HeapInUse() {
#ifdef TALVI_SANITIZER_HEAP
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 heap = mallinfo2();
  return static_cast<long long>(heap.uordblks + heap.hblkhd);
#endif
}

// The lowest of a few counts: a count can catch a buffer of Qt's own in
// passing (a thread of the chooser's folder model ending, for one).
long long Floor(const std::vector<long long>& counts, std::size_t first, std::size_t n) {
  return *std::min_element(counts.begin() + static_cast<std::ptrdiff_t>(first),
                           counts.begin() + static_cast<std::ptrdiff_t>(first + n));
}

TEST(SaveSteps, DiskAfterDiskKeepNoBytes) {
  ui::Startup();
  testing::TempFolder dir;
  testing::ModalAnswers answers;
  // The first disks may leave what Qt keeps for the life of the program
  // (fonts, the style, the chooser's folder model); from then on the bytes
  // in use stay put, but for the names of the chooser's icons that Qt's
  // pixmap cache keeps even once it has dropped the icons (about 3 KiB a
  // chooser here, with the heap's own rounding about 5). One disk's image,
  // a chooser or a message box kept per disk is many times the allowance.
  constexpr std::size_t kWarmUp = 4;
  constexpr std::size_t kDisks = 40;
  constexpr std::size_t kFloorOf = 4;
  constexpr long long kAllowedPerDisk = 16 * 1024;
  const std::string file = dir / "disk.opd";
  answers.File(file);
  for (std::size_t i = 1; i < kDisks; ++i) {
    answers.File(file);  // replaces the file, after the question
    answers.Ok();
  }
  const std::string received(160u * 4608u, 'D');  // a whole disk
  std::vector<long long> inUse;
  for (std::size_t disk = 0; disk < kDisks; ++disk) {
    {
      std::string image = received;
      SAVE(image);
      ASSERT_NE(image, received) << "disk " << disk + 1 << " was not written";
    }
    ui::SYSREFRESH();  // what the save step left for deferred deletion goes
    QPixmapCache::clear();
    inUse.push_back(HeapInUse());
  }
  EXPECT_TRUE(answers.done());
  EXPECT_EQ(testing::ReadBytes(file).size(), received.size());
  const long long before = Floor(inUse, kWarmUp, kFloorOf);
  const long long after = Floor(inUse, kDisks - kFloorOf, kFloorOf);
  const auto steps = static_cast<long long>(kDisks - kFloorOf - kWarmUp);
  EXPECT_LT(after - before, steps * kAllowedPerDisk)
      << steps << " save steps kept " << after - before << " bytes (" << before << " -> " << after
      << ")";
}

}  // namespace
}  // namespace talvi::app
