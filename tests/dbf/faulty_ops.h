// SPDX-License-Identifier: MIT
// File calls that fail on demand, for the faults a real file system does
// not produce when a test asks: a write cut short, a full disk, a file gone
// from under its handle. Everything else goes to the real calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "os/shared_file.h"

namespace talvi::dbf::testing {

class FaultyOps : public os::FileOps {
 public:
  FaultyOps() : was_(os::SetFileOps(this)) {}
  ~FaultyOps() override { os::SetFileOps(was_); }
  FaultyOps(const FaultyOps&) = delete;
  FaultyOps& operator=(const FaultyOps&) = delete;

  // The `nth` write from now (1 = the next) writes only its first `keep`
  // bytes; the rest of it and every later write fail with `oscode` (a disk
  // that is full stays full) until Heal.
  void FailWrite(int nth, std::size_t keep, int oscode) {
    countdown_ = nth;
    keep_ = keep;
    oscode_ = oscode;
  }
  // From now on every call fails with `oscode`, as on a share whose server
  // went away.
  void Vanish(int oscode) {
    gone_ = true;
    oscode_ = oscode;
  }
  // The `nth` flush from now (1 = the next) fails with `oscode`; the ones
  // after it go through.
  void FailFlush(int nth, int oscode) {
    flush_countdown_ = nth;
    oscode_ = oscode;
  }
  // Every rename from now fails with `oscode`, until Heal.
  void FailRenames(int oscode) {
    renames_fail_ = true;
    oscode_ = oscode;
  }
  void Heal() {
    countdown_ = 0;
    failing_ = false;
    gone_ = false;
    renames_fail_ = false;
  }
  int writes() const { return writes_; }
  // Every call that reached the system (or was refused by this table), in
  // order: where and how many bytes.
  struct Call {
    std::uint64_t offset;
    std::size_t size;
  };
  const std::vector<Call>& write_log() const { return write_log_; }
  const std::vector<Call>& read_log() const { return read_log_; }

  std::int64_t ReadAt(os::NativeFile file, std::uint64_t offset, void* data, std::size_t size,
                      int& oscode) override {
    read_log_.push_back({offset, size});
    if (gone_) return Refuse(oscode);
    return FileOps::ReadAt(file, offset, data, size, oscode);
  }
  std::int64_t WriteAt(os::NativeFile file, std::uint64_t offset, const void* data,
                       std::size_t size, int& oscode) override {
    ++writes_;
    write_log_.push_back({offset, size});
    if (gone_ || failing_) return Refuse(oscode);
    if (countdown_ > 0 && --countdown_ == 0) {
      failing_ = true;
      if (keep_ == 0 || keep_ >= size) return Refuse(oscode);
      return FileOps::WriteAt(file, offset, data, keep_, oscode);
    }
    return FileOps::WriteAt(file, offset, data, size, oscode);
  }
  std::int64_t Size(os::NativeFile file, int& oscode) override {
    if (gone_) return Refuse(oscode);
    return FileOps::Size(file, oscode);
  }
  bool Truncate(os::NativeFile file, std::uint64_t size, int& oscode) override {
    if (gone_ || failing_) return Refuse(oscode) == 0;
    return FileOps::Truncate(file, size, oscode);
  }
  bool Flush(os::NativeFile file, bool to_disk, int& oscode) override {
    if (gone_ || (flush_countdown_ > 0 && --flush_countdown_ == 0)) return Refuse(oscode) == 0;
    return FileOps::Flush(file, to_disk, oscode);
  }
  bool Rename(const std::string& from, const std::string& to, int& oscode) override {
    if (gone_ || failing_ || renames_fail_) return Refuse(oscode) == 0;
    return FileOps::Rename(from, to, oscode);
  }

 private:
  std::int64_t Refuse(int& oscode) const {
    oscode = oscode_;
    return -1;
  }

  os::FileOps* was_;
  int countdown_ = 0;
  int flush_countdown_ = 0;
  std::size_t keep_ = 0;
  int oscode_ = 0;
  bool failing_ = false;
  bool gone_ = false;
  bool renames_fail_ = false;
  int writes_ = 0;
  std::vector<Call> write_log_;
  std::vector<Call> read_log_;
};

}  // namespace talvi::dbf::testing
