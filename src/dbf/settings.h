// SPDX-License-Identifier: MIT
// The engine's process-wide settings. Their defaults are the library's
// start-up defaults: driver "DBFCDX", lock scheme 4 (the region from
// 4 000 000 000 for 294 967 295 bytes), memo extension ".DBT", century on,
// date format "dd/mm/yyyy", deleted records hidden, epoch 1980, file names
// in upper case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvi::dbf {

enum class NameCase { kMixed, kUpper, kLower };

struct EngineSettings {
  std::string driver = "DBFCDX";
  int lock_scheme = 4;
  std::uint64_t lock_offset = 4'000'000'000;
  std::uint64_t lock_length = 294'967'295;
  std::string memo_extension = ".DBT";
  bool century = true;
  std::string date_format = "dd/mm/yyyy";
  bool deleted = true;  // deleted records invisible
  int epoch = 1980;
  NameCase file_case = NameCase::kUpper;
  // Commit also waits for the device (fsync), not only for the system.
  bool commit_to_disk = false;

  // Lock offsets of the scheme: record n, the whole table, the header
  // (append) lock, which is the region's first byte, where no record lock
  // falls (record numbers start at 1).
  std::uint64_t RecordLockOffset(std::uint32_t recno) const { return lock_offset + recno; }
  std::uint64_t HeaderLockOffset() const { return lock_offset; }
  // The highest record number the lock region can address.
  std::uint32_t MaxRecords() const { return static_cast<std::uint32_t>(lock_length - 1); }
};

// The settings in force. Set them up before opening tables; they are not
// guarded for changes from several threads.
EngineSettings& Engine();

}  // namespace talvi::dbf
