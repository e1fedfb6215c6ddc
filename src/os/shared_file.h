// SPDX-License-Identifier: MIT
// Files shared between processes: opens with Windows share modes, positioned
// reads and writes with 64-bit offsets, and byte-range locks.
//
// On Windows this is CreateFile's share mode and LockFileEx/UnlockFileEx.
// On Linux (see docs/linux-mapping.md) the locks are open-file-description
// locks (F_OFD_SETLK): they belong to one open of the file, like a Windows
// handle, so two opens in one process exclude each other and closing one
// never drops the locks of another. Share modes do not exist on Linux; they
// are emulated with the same kind of lock on a reserved range far beyond
// every lock region that tables use (kShareRangeOffset), so that a second
// opener is refused with the sharing-violation code exactly where Windows
// refuses it. Only programs that use this layer (or the same convention)
// see the emulated share modes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The file calls report the Windows error numbers, also on Linux.
#include "os/os_code.h"

namespace talvi::os {

// Where the Linux share-mode emulation keeps its locks: 2^62, beyond every
// 32-bit lock scheme and every real file.
inline constexpr std::uint64_t kShareRangeOffset = std::uint64_t{1} << 62;
inline constexpr std::uint64_t kShareRangeLength = 8;

// The handle of an open file as the system knows it: a descriptor on
// Linux, a HANDLE on Windows.
using NativeFile = std::intptr_t;

// The system calls under every SharedFile, one call each. The real calls
// are the default; a test installs a subclass to make them fail where the
// real system cannot on demand (a write cut short, a full disk, a file gone
// from under its handle), calling the base for everything else. A read or
// write may do less than asked (the caller goes on from there); a failure
// is -1 or false with the Windows error number in `oscode`.
class FileOps {
 public:
  virtual ~FileOps() = default;
  virtual std::int64_t ReadAt(NativeFile file, std::uint64_t offset, void* data, std::size_t size,
                              int& oscode);
  virtual std::int64_t WriteAt(NativeFile file, std::uint64_t offset, const void* data,
                               std::size_t size, int& oscode);
  virtual std::int64_t Size(NativeFile file, int& oscode);
  virtual bool Truncate(NativeFile file, std::uint64_t size, int& oscode);
  virtual bool Flush(NativeFile file, bool to_disk, int& oscode);
  // Renames `from` to `to`, replacing `to`, in one step of the file system.
  virtual bool Rename(const std::string& from, const std::string& to, int& oscode);
};

// The calls in force.
FileOps& CurrentFileOps();
// Installs `ops` for every SharedFile (nullptr: the real calls again) and
// gives back the calls that were in force (nullptr for the real ones).
// Install while no other thread uses files.
FileOps* SetFileOps(FileOps* ops);

struct OpenMode {
  bool read = true;
  bool write = false;
  // What others may do while this open lives (FILE_SHARE_READ/WRITE).
  bool share_read = true;
  bool share_write = true;
  // Create the file when it is missing; with `truncate` also empty it.
  bool create = false;
  bool truncate = false;
  // Others may rename the file while this open lives (FILE_SHARE_DELETE;
  // always so on Linux). SharedFile::Replace needs it of its `fresh` file.
  bool share_delete = false;
};

// Common modes: a table opened shared or exclusively, read-write or not.
OpenMode SharedMode(bool read_only);
OpenMode ExclusiveMode(bool read_only);

class SharedFile {
 public:
  ~SharedFile();
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  // Opens a native path; null on failure with the Windows error number in
  // `oscode` (kOsSharingViolation when another open's share mode refuses).
  static std::unique_ptr<SharedFile> Open(const std::string& path, const OpenMode& mode,
                                          int& oscode);

  // Reads up to `size` bytes at `offset`; the count read (short at the end
  // of the file), or -1 on failure.
  std::int64_t ReadAt(std::uint64_t offset, void* data, std::size_t size);
  // Writes all `size` bytes at `offset`.
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  // The size in bytes, or -1.
  std::int64_t Size();
  bool Truncate(std::uint64_t size);
  // Hands written data to the system; with `to_disk` waits until the
  // device has it (fsync / FlushFileBuffers). Writes always reach the
  // system at once (no user-space cache), so the plain form does nothing
  // on Linux and is there for symmetry.
  bool Flush(bool to_disk);

  // Puts the file that `fresh` is open on in the place of the file that
  // `target` is open on (renamed over its name, `Rename` of the file calls)
  // and leaves `target` open on it, with its path and mode. Linux: both
  // stay open throughout, so the name never stands free for another opener
  // (the new file is held in `fresh`'s share mode), and the folder is
  // flushed to the device after the rename. Windows renames no file that
  // is open without delete sharing: `target` is closed for the rename and
  // `fresh` (opened with `share_delete`) stays open; another program that
  // opens the old file in that moment makes the rename fail. On failure
  // `target` is open on the old file again, in its own mode; where another
  // program holds it by then, `target` stands on no file and every call on
  // it fails with kOsInvalidHandle. `oscode` tells why the rename failed.
  static bool Replace(std::unique_ptr<SharedFile>& target, std::unique_ptr<SharedFile> fresh,
                      int& oscode);

  // Tries once to lock `length` bytes at `offset` for this open alone.
  // False when any other open (this process or another) holds an
  // overlapping lock; kOsLockViolation is then the last error.
  bool TryLock(std::uint64_t offset, std::uint64_t length);
  // Releases a range locked by TryLock with the same offset and length.
  bool Unlock(std::uint64_t offset, std::uint64_t length);

  // The Windows error number of the last failed call on this file.
  int LastError() const { return last_error_; }
  const std::string& path() const { return path_; }
  bool writable() const { return mode_.write; }

 private:
  struct Impl;
  SharedFile(std::string path, const OpenMode& mode, std::unique_ptr<Impl> impl);

  std::string path_;
  OpenMode mode_;
  std::unique_ptr<Impl> impl_;
  int last_error_ = 0;
};

}  // namespace talvi::os
