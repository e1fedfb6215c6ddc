// SPDX-License-Identifier: MIT
// Windows: the system's share modes and handle locks.
#include <windows.h>

#include "os/shared_file.h"

namespace talvi::os {

struct SharedFile::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

SharedFile::SharedFile(std::string path, const OpenMode& mode, std::unique_ptr<Impl> impl)
    : path_(std::move(path)), mode_(mode), impl_(std::move(impl)) {}

SharedFile::~SharedFile() {
  if (impl_ && impl_->handle != INVALID_HANDLE_VALUE) CloseHandle(impl_->handle);
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

}  // namespace

std::int64_t SharedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  auto* out = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t left = size - done;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    OVERLAPPED ov = At(offset + done);
    DWORD got = 0;
    if (!ReadFile(impl_->handle, out + done, chunk, &got, &ov)) {
      const DWORD err = GetLastError();
      if (err == ERROR_HANDLE_EOF) break;
      last_error_ = static_cast<int>(err);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

bool SharedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (!mode_.write) {
    last_error_ = kOsAccessDenied;
    return false;
  }
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t left = size - done;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    OVERLAPPED ov = At(offset + done);
    DWORD put = 0;
    if (!WriteFile(impl_->handle, in + done, chunk, &put, &ov) || put == 0) {
      last_error_ = static_cast<int>(GetLastError());
      return false;
    }
    done += put;
  }
  return true;
}

std::int64_t SharedFile::Size() {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(impl_->handle, &size)) {
    last_error_ = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<std::int64_t>(size.QuadPart);
}

bool SharedFile::Truncate(std::uint64_t size) {
  if (!mode_.write) {
    last_error_ = kOsAccessDenied;
    return false;
  }
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(impl_->handle, FileEndOfFileInfo, &info, sizeof info)) {
    last_error_ = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool SharedFile::Flush(bool to_disk) {
  // WriteFile hands the data to the system at once; only the device flush
  // is left to ask for.
  if (!to_disk) return true;
  if (!FlushFileBuffers(impl_->handle)) {
    last_error_ = static_cast<int>(GetLastError());
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
