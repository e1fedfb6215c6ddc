// SPDX-License-Identifier: MIT
// A private working folder and TEMP folder for the start-up tests: the
// test runs inside <tmp>/work with TEMP=<tmp>/temp, and everything is put
// back (folder, TEMP, files) afterwards.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "os/attributes.h"
#include "support/temp_dir.h"

namespace talvi::lib::testing {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& text = "x") {
  std::ofstream(path, std::ios::binary) << text;
}

// Sets Windows attribute bits (read-only 1, hidden 2, system 4, archive 32).
inline void SetAttributes(const fs::path& path, std::uint32_t bits) {
  ASSERT_TRUE(os::WriteAttributes(path.string(), bits)) << path;
}

// Sets or clears the immutable flag (a file that not even root can erase).
inline bool SetImmutable(const fs::path& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return ok;
}

class StartupFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path();
    work_ = root_ / "work";
    temp_ = root_ / "temp";
    fs::create_directories(work_);
    fs::create_directories(temp_);
    old_cwd_ = fs::current_path();
    fs::current_path(work_);
    if (const char* t = std::getenv("TEMP")) old_temp_ = t;
    setenv("TEMP", temp_.c_str(), 1);
  }

  void TearDown() override {
    fs::current_path(old_cwd_);
    if (old_temp_) {
      setenv("TEMP", old_temp_->c_str(), 1);
    } else {
      unsetenv("TEMP");
    }
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(root_, ec)) {
      SetImmutable(entry.path(), false);
    }
  }

  fs::path root_, work_, temp_;

 private:
  talvi::testing::TempDir dir_;  // removed once the flags above are cleared
  fs::path old_cwd_;
  std::optional<std::string> old_temp_;
};

}  // namespace talvi::lib::testing
