// SPDX-License-Identifier: MIT
#include "os/shared_file.h"

#include <atomic>

namespace talvi::os {
namespace {

FileOps real_ops;
// Acquire/release: a thread that sees a newly installed table sees it
// fully built (installing is meant for quiet moments anyway).
std::atomic<FileOps*> current_ops{&real_ops};

}  // namespace

FileOps& CurrentFileOps() {
  return *current_ops.load(std::memory_order_acquire);
}

FileOps* SetFileOps(FileOps* ops) {
  FileOps* was = current_ops.exchange(ops ? ops : &real_ops, std::memory_order_acq_rel);
  return was == &real_ops ? nullptr : was;
}

OpenMode SharedMode(bool read_only) {
  OpenMode mode;
  mode.read = true;
  mode.write = !read_only;
  mode.share_read = true;
  mode.share_write = true;
  return mode;
}

OpenMode ExclusiveMode(bool read_only) {
  OpenMode mode;
  mode.read = true;
  mode.write = !read_only;
  mode.share_read = false;
  mode.share_write = false;
  return mode;
}

}  // namespace talvi::os
