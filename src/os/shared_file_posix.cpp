// SPDX-License-Identifier: MIT
// Open-file-description locks stand in for Windows handle locks and share
// modes (see docs/linux-mapping.md, "Shared files and byte-range locks").
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "os/attributes.h"
#include "os/os_code.h"
#include "os/shared_file.h"

namespace talvi::os {
namespace {

// The bytes of the share-mode range. An open takes a shared (read) lock on
// the byte of each access it has and each access it denies; a newcomer
// checks the bytes that would conflict with a test for a write lock. The
// gate byte serialises check-and-take between openers.
constexpr std::uint64_t kHasRead = kShareRangeOffset + 0;
constexpr std::uint64_t kHasWrite = kShareRangeOffset + 1;
constexpr std::uint64_t kDeniesRead = kShareRangeOffset + 2;
constexpr std::uint64_t kDeniesWrite = kShareRangeOffset + 3;
constexpr std::uint64_t kGate = kShareRangeOffset + 4;

bool OffsetFits(std::uint64_t offset, std::uint64_t length) {
  constexpr auto kMax = static_cast<std::uint64_t>(LLONG_MAX);
  return offset <= kMax && length <= kMax - offset;
}

int Lock(int fd, int cmd, short type, std::uint64_t offset, std::uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;  // required for the OFD commands
  int rc;
  do {
    rc = ::fcntl(fd, cmd, &fl);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// True when some other open holds a lock on `offset` that a write lock
// would meet.
bool Taken(int fd, std::uint64_t offset) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  fl.l_pid = 0;
  if (::fcntl(fd, F_OFD_GETLK, &fl) < 0) return true;
  return fl.l_type != F_UNLCK;
}

// Checks the newcomer against every open's share mode and, when it fits,
// records its own access and share mode. Runs under the gate.
bool ShareModeFits(int fd, const OpenMode& mode) {
  return !(mode.read && Taken(fd, kDeniesRead)) && !(mode.write && Taken(fd, kDeniesWrite)) &&
         !(!mode.share_read && Taken(fd, kHasRead)) && !(!mode.share_write && Taken(fd, kHasWrite));
}

bool TakeShareMode(int fd, const OpenMode& mode) {
  if (!ShareModeFits(fd, mode)) return false;
  const auto mark = [fd](bool on, std::uint64_t byte) {
    return !on || Lock(fd, F_OFD_SETLK, F_RDLCK, byte, 1) == 0;
  };
  return mark(mode.read, kHasRead) && mark(mode.write, kHasWrite) &&
         mark(!mode.share_read, kDeniesRead) && mark(!mode.share_write, kDeniesWrite);
}

}  // namespace

struct SharedFile::Impl {
  int fd = -1;
  bool lock_writable = true;
};

SharedFile::SharedFile(std::string path, const OpenMode& mode, std::unique_ptr<Impl> impl)
    : path_(std::move(path)), mode_(mode), impl_(std::move(impl)) {}

SharedFile::~SharedFile() {
  // Closing the description drops its locks and its share-mode marks.
  if (impl_ && impl_->fd >= 0) ::close(impl_->fd);
}

std::unique_ptr<SharedFile> SharedFile::Open(const std::string& path, const OpenMode& mode,
                                             int& oscode) {
  oscode = 0;
  // A write lock needs a descriptor open for writing on Linux, while a
  // read-only Windows handle may still lock exclusively. So a read-only
  // open asks for write access too where the file allows it (this layer
  // refuses every write through it) and falls back to read access, with
  // shared locks, where it does not. Truncation waits for the share check.
  int fd = -1;
  bool lock_writable = true;
  const int base = O_CLOEXEC | (mode.create ? O_CREAT : 0);
  do {
    fd = ::open(path.c_str(), base | O_RDWR, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && !mode.write && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    lock_writable = false;
    do {
      fd = ::open(path.c_str(), base | O_RDONLY, 0666);
    } while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) {
    oscode = OsCodeOf(errno);
    if (oscode == kOsFileNotFound) {
      // Windows tells a missing folder from a missing file.
      const auto slash = path.find_last_of('/');
      struct stat st {};
      if (slash != std::string::npos && slash > 0 &&
          ::stat(path.substr(0, slash).c_str(), &st) != 0) {
        oscode = kOsPathNotFound;
      }
    }
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    oscode = kOsAccessDenied;
    return nullptr;
  }
  // The gate waits only for another opener's few calls below. A read-only
  // descriptor can only take a shared gate, which still excludes every
  // writable opener; two such openers racing are caught by checking again
  // after the marks are down (both may then be refused, never both let in).
  if (Lock(fd, F_OFD_SETLKW, lock_writable ? F_WRLCK : F_RDLCK, kGate, 1) != 0) {
    oscode = OsCodeOf(errno);
    ::close(fd);
    return nullptr;
  }
  bool fits = TakeShareMode(fd, mode);
  if (fits && !lock_writable) fits = ShareModeFits(fd, mode);
  Lock(fd, F_OFD_SETLK, F_UNLCK, kGate, 1);
  if (!fits) {
    ::close(fd);
    oscode = kOsSharingViolation;
    return nullptr;
  }
  if (mode.truncate && mode.write && ::ftruncate(fd, 0) != 0) {
    oscode = OsCodeOf(errno);
    ::close(fd);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->fd = fd;
  impl->lock_writable = lock_writable;
  return std::unique_ptr<SharedFile>(new SharedFile(path, mode, std::move(impl)));
}

std::int64_t FileOps::ReadAt(NativeFile file, std::uint64_t offset, void* data, std::size_t size,
                             int& oscode) {
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(file), data, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) oscode = OsCodeOf(errno);
  return n;
}

std::int64_t FileOps::WriteAt(NativeFile file, std::uint64_t offset, const void* data,
                              std::size_t size, int& oscode) {
  ssize_t n;
  do {
    n = ::pwrite(static_cast<int>(file), data, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) oscode = OsCodeOf(errno);
  return n;
}

std::int64_t FileOps::Size(NativeFile file, int& oscode) {
  struct stat st {};
  if (::fstat(static_cast<int>(file), &st) != 0) {
    oscode = OsCodeOf(errno);
    return -1;
  }
  return static_cast<std::int64_t>(st.st_size);
}

bool FileOps::Truncate(NativeFile file, std::uint64_t size, int& oscode) {
  if (::ftruncate(static_cast<int>(file), static_cast<off_t>(size)) != 0) {
    oscode = OsCodeOf(errno);
    return false;
  }
  return true;
}

bool FileOps::Flush(NativeFile file, bool to_disk, int& oscode) {
  // Writes reach the system at once (no user-space cache): only the device
  // flush is left to ask for.
  if (to_disk && ::fdatasync(static_cast<int>(file)) != 0) {
    oscode = OsCodeOf(errno);
    return false;
  }
  return true;
}

bool FileOps::Rename(const std::string& from, const std::string& to, int& oscode) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    oscode = OsCodeOf(errno);
    return false;
  }
  return true;
}

bool SharedFile::Replace(std::unique_ptr<SharedFile>& target, std::unique_ptr<SharedFile> fresh,
                         int& oscode) {
  oscode = kOsGenFailure;
  // The new file gets the old one's permissions, owner and group (as far
  // as this user may give them) and attributes: whoever could write the
  // old file can write the new one.
  const int fd = fresh->impl_->fd;
  struct stat st {};
  if (::fstat(target->impl_->fd, &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    }
    char attr[16];
    const ssize_t n = ::fgetxattr(target->impl_->fd, kAttribXattr, attr, sizeof attr);
    if (n > 0) ::fsetxattr(fd, kAttribXattr, attr, static_cast<std::size_t>(n), 0);
  }
  // A symbolic link stays a link: the file it names is replaced.
  std::string to = target->path_;
  if (::lstat(to.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    if (::realpath(to.c_str(), buf) != nullptr) to = buf;
  }
  if (!CurrentFileOps().Rename(fresh->path_, to, oscode)) return false;
  // The rename reaches the device with its folder.
  const auto slash = to.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : to.substr(0, slash + 1);
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  fresh->path_ = target->path_;
  fresh->mode_ = target->mode_;
  target = std::move(fresh);
  oscode = 0;
  return true;
}

std::int64_t SharedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  if (!OffsetFits(offset, size)) {
    last_error_ = kOsInvalidParameter;
    return -1;
  }
  FileOps& ops = CurrentFileOps();
  auto* out = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    int oscode = kOsGenFailure;
    const std::int64_t n = ops.ReadAt(impl_->fd, offset + done, out + done, size - done, oscode);
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
  if (!OffsetFits(offset, size)) {
    last_error_ = kOsInvalidParameter;
    return false;
  }
  FileOps& ops = CurrentFileOps();
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    int oscode = kOsGenFailure;
    const std::int64_t n = ops.WriteAt(impl_->fd, offset + done, in + done, size - done, oscode);
    if (n <= 0) {
      // Nothing written where bytes were asked for is a failure too (a
      // loop here would never end).
      last_error_ = n < 0 ? oscode : kOsDiskFull;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t SharedFile::Size() {
  int oscode = kOsGenFailure;
  const std::int64_t size = CurrentFileOps().Size(impl_->fd, oscode);
  if (size < 0) last_error_ = oscode;
  return size;
}

bool SharedFile::Truncate(std::uint64_t size) {
  if (!mode_.write) {
    last_error_ = kOsAccessDenied;
    return false;
  }
  if (!OffsetFits(size, 0)) {
    last_error_ = kOsInvalidParameter;
    return false;
  }
  int oscode = kOsGenFailure;
  if (!CurrentFileOps().Truncate(impl_->fd, size, oscode)) {
    last_error_ = oscode;
    return false;
  }
  return true;
}

bool SharedFile::Flush(bool to_disk) {
  int oscode = kOsGenFailure;
  if (!CurrentFileOps().Flush(impl_->fd, to_disk, oscode)) {
    last_error_ = oscode;
    return false;
  }
  return true;
}

bool SharedFile::TryLock(std::uint64_t offset, std::uint64_t length) {
  if (length == 0 || !OffsetFits(offset, length)) {
    last_error_ = kOsInvalidParameter;
    return false;
  }
  // Without a writable descriptor only a read lock is possible; it still
  // excludes every write lock of another open.
  const short type = impl_->lock_writable ? F_WRLCK : F_RDLCK;
  if (Lock(impl_->fd, F_OFD_SETLK, type, offset, length) != 0) {
    last_error_ = OsCodeOf(errno);
    return false;
  }
  return true;
}

bool SharedFile::Unlock(std::uint64_t offset, std::uint64_t length) {
  if (length == 0 || !OffsetFits(offset, length)) {
    last_error_ = kOsInvalidParameter;
    return false;
  }
  if (Lock(impl_->fd, F_OFD_SETLK, F_UNLCK, offset, length) != 0) {
    last_error_ = OsCodeOf(errno);
    return false;
  }
  return true;
}

}  // namespace talvi::os
