// SPDX-License-Identifier: MIT
// Windows: the system's share modes and handle locks.
#include <windows.h>

#include "os/shared_file.h"

namespace talvi::os {

struct SharedFile::Impl {
  // Null when the file could not be opened again after a refused Replace:
  // the system then fails every call with ERROR_INVALID_HANDLE.
  HANDLE handle = INVALID_HANDLE_VALUE;
};

SharedFile::SharedFile(std::string path, const OpenMode& mode, std::unique_ptr<Impl> impl)
    : path_(std::move(path)), mode_(mode), impl_(std::move(impl)) {}

SharedFile::~SharedFile() {
  if (impl_ && impl_->handle != INVALID_HANDLE_VALUE && impl_->handle != nullptr) {
    CloseHandle(impl_->handle);
  }
}

std::unique_ptr<SharedFile> SharedFile::Open(const std::string& path, const OpenMode& mode,
                                             int& oscode) {
  oscode = 0;
  DWORD access = 0;
  if (mode.read) access |= GENERIC_READ;
  if (mode.write) access |= GENERIC_WRITE;
  DWORD share = 0;
  if (mode.share_read) share |= FILE_SHARE_READ;
  if (mode.share_write) share |= FILE_SHARE_WRITE;
  if (mode.share_delete) share |= FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  if (mode.create) disposition = mode.truncate ? CREATE_ALWAYS : OPEN_ALWAYS;
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    oscode = static_cast<int>(GetLastError());
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->handle = h;
  return std::unique_ptr<SharedFile>(new SharedFile(path, mode, std::move(impl)));
}

namespace {

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

HANDLE HandleOf(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

// ReadFile and WriteFile take 32-bit counts.
DWORD Chunk(std::size_t size) {
  return size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
}

}  // namespace

std::int64_t FileOps::ReadAt(NativeFile file, std::uint64_t offset, void* data, std::size_t size,
                             int& oscode) {
  OVERLAPPED ov = At(offset);
  DWORD got = 0;
  if (!ReadFile(HandleOf(file), data, Chunk(size), &got, &ov)) {
    const DWORD err = GetLastError();
    if (err == ERROR_HANDLE_EOF) return 0;
    oscode = static_cast<int>(err);
    return -1;
  }
  return static_cast<std::int64_t>(got);
}

std::int64_t FileOps::WriteAt(NativeFile file, std::uint64_t offset, const void* data,
                              std::size_t size, int& oscode) {
  OVERLAPPED ov = At(offset);
  DWORD put = 0;
  if (!WriteFile(HandleOf(file), data, Chunk(size), &put, &ov)) {
    oscode = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<std::int64_t>(put);
}

std::int64_t FileOps::Size(NativeFile file, int& oscode) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(HandleOf(file), &size)) {
    oscode = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<std::int64_t>(size.QuadPart);
}

bool FileOps::Truncate(NativeFile file, std::uint64_t size, int& oscode) {
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(HandleOf(file), FileEndOfFileInfo, &info, sizeof info)) {
    oscode = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool FileOps::Flush(NativeFile file, bool to_disk, int& oscode) {
  // WriteFile hands the data to the system at once; only the device flush
  // is left to ask for.
  if (to_disk && !FlushFileBuffers(HandleOf(file))) {
    oscode = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool FileOps::Rename(const std::string& from, const std::string& to, int& oscode) {
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    oscode = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool SharedFile::Replace(std::unique_ptr<SharedFile>& target, std::unique_ptr<SharedFile> fresh,
                         int& oscode) {
  oscode = kOsGenFailure;
  const std::string path = target->path_;
  const OpenMode mode = target->mode_;
  target.reset();
  if (!CurrentFileOps().Rename(fresh->path_, path, oscode)) {
    // Open on the old file again, in the same mode. When another program
    // took the file in the meantime, no other mode will do: the caller
    // holds it exclusively and writes it as its own alone. The open then
    // stands on no file, and every call fails rather than crashing or
    // writing beside the other program.
    int ignored = 0;
    target = Open(path, mode, ignored);
    if (!target) {
      auto impl = std::make_unique<Impl>();
      impl->handle = nullptr;
      target = std::unique_ptr<SharedFile>(new SharedFile(path, mode, std::move(impl)));
    }
    return false;
  }
  fresh->path_ = path;
  fresh->mode_ = mode;
  target = std::move(fresh);
  oscode = 0;
  return true;
}

std::int64_t SharedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  FileOps& ops = CurrentFileOps();
  const auto file = reinterpret_cast<NativeFile>(impl_->handle);
  auto* out = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    int oscode = kOsGenFailure;
    const std::int64_t n = ops.ReadAt(file, offset + done, out + done, size - done, oscode);
    if (n < 0) {
      last_error_ = oscode;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

bool SharedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (!mode_.write) {
    last_error_ = kOsAccessDenied;
    return false;
  }
  FileOps& ops = CurrentFileOps();
  const auto file = reinterpret_cast<NativeFile>(impl_->handle);
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    int oscode = kOsGenFailure;
    const std::int64_t n = ops.WriteAt(file, offset + done, in + done, size - done, oscode);
    if (n <= 0) {
      last_error_ = n < 0 ? oscode : kOsDiskFull;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t SharedFile::Size() {
  int oscode = kOsGenFailure;
  const std::int64_t size =
      CurrentFileOps().Size(reinterpret_cast<NativeFile>(impl_->handle), oscode);
  if (size < 0) last_error_ = oscode;
  return size;
}

bool SharedFile::Truncate(std::uint64_t size) {
  if (!mode_.write) {
    last_error_ = kOsAccessDenied;
    return false;
  }
  int oscode = kOsGenFailure;
  if (!CurrentFileOps().Truncate(reinterpret_cast<NativeFile>(impl_->handle), size, oscode)) {
    last_error_ = oscode;
    return false;
  }
  return true;
}

bool SharedFile::Flush(bool to_disk) {
  int oscode = kOsGenFailure;
  if (!CurrentFileOps().Flush(reinterpret_cast<NativeFile>(impl_->handle), to_disk, oscode)) {
    last_error_ = oscode;
    return false;
  }
  return true;
}

bool SharedFile::TryLock(std::uint64_t offset, std::uint64_t length) {
  OVERLAPPED ov = At(offset);
  if (!LockFileEx(impl_->handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                  static_cast<DWORD>(length & 0xFFFFFFFFu), static_cast<DWORD>(length >> 32),
                  &ov)) {
    const DWORD err = GetLastError();
    last_error_ = err == ERROR_IO_PENDING ? kOsLockViolation : static_cast<int>(err);
    return false;
  }
  return true;
}

bool SharedFile::Unlock(std::uint64_t offset, std::uint64_t length) {
  OVERLAPPED ov = At(offset);
  if (!UnlockFileEx(impl_->handle, 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                    static_cast<DWORD>(length >> 32), &ov)) {
    last_error_ = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

}  // namespace talvi::os
