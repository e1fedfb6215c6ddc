// SPDX-License-Identifier: MIT
// The library's process-wide defaults of the data layer, of date handling
// and of printing. Start-up fixes them (ApplyDefaults); the table engine,
// the date functions and the printing code read them through the getters.
// They are set on the window thread before the main routine runs and are
// read-only afterwards, except for the file-name case that the application
// chooses once after reading its own settings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talvi::lib {

// How file names handed to the file layer are cased.
enum class FileCase {
  kMixed,  // as written
  kUpper,
  kLower,
};

// "UPPER", "LOWER" or "MIXED" (any letter case); none for anything else.
std::optional<FileCase> ParseFileCase(std::string_view word);

class Settings {
 public:
  // Byte-range lock scheme 4: the region of record and file locks.
  static constexpr int kExtendedLockScheme = 4;
  static constexpr std::uint64_t kExtendedLockOffset = 4'000'000'000;
  static constexpr std::uint64_t kExtendedLockLength = 294'967'295;

  // Until ApplyDefaults runs, the run-time's own defaults are in force.
  Settings() = default;

  // The library's ten defaults, applied in this order: table driver, lock
  // scheme, memo extension, century, confirm, date format (which follows
  // the century just set), deleted records hidden, epoch, file-name case,
  // print margin.
  void ApplyDefaults();

  const std::string& DefaultDriver() const { return driver_; }
  int LockScheme() const { return lockScheme_; }
  std::uint64_t LockOffset() const { return lockOffset_; }
  std::uint64_t LockLength() const { return lockLength_; }
  const std::string& MemoExtension() const { return memoExtension_; }
  bool Century() const { return century_; }
  bool Confirm() const { return confirm_; }
  const std::string& DateFormat() const { return dateFormat_; }
  bool Deleted() const { return deleted_; }
  int Epoch() const { return epoch_; }
  FileCase FileNameCase() const { return fileCase_; }
  int Margin() const { return margin_; }

  void SetFileNameCase(FileCase mode);

  // Called with the settings after every change (ApplyDefaults,
  // SetFileNameCase): the layers that keep a copy of their own, the table
  // engine first of all, follow the library's values through it.
  void SetChangeHook(std::function<void(const Settings&)> hook);

  // `path` with its last component (the file name) cased as chosen; the
  // folders before it are left as written. Both "\" and "/" separate.
  std::string ApplyFileCase(std::string_view path) const;

 private:
  std::string driver_ = "DBFNTX";
  int lockScheme_ = 0;
  std::uint64_t lockOffset_ = 1'000'000'000;
  std::uint64_t lockLength_ = 1;
  std::string memoExtension_ = ".DBT";
  bool century_ = false;
  bool confirm_ = false;
  std::string dateFormat_ = "mm/dd/yy";
  bool deleted_ = false;
  int epoch_ = 1900;
  FileCase fileCase_ = FileCase::kMixed;
  int margin_ = 0;
  std::function<void(const Settings&)> changed_;
};

// The one settings object of the process.
Settings& LibSettings();

}  // namespace talvi::lib
