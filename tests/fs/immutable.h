// SPDX-License-Identifier: MIT
// Makes a file immutable for the life of the guard (the one way to make a
// delete fail for root), when the file system and privileges allow it.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace talvi::testing {

class Immutable {
 public:
  explicit Immutable(std::string path) : path_(std::move(path)) { ok_ = Set(true); }
  ~Immutable() {
    if (ok_) Set(false);
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;
  bool ok() const { return ok_; }

 private:
  bool Set(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }

  std::string path_;
  bool ok_ = false;
};

}  // namespace talvi::testing
