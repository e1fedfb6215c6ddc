// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "os/attributes.h"
#include "os/files.h"

namespace talvi::os {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
std::atomic<unsigned> g_temp_counter{0};

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies the bytes, calling `progress` before the first chunk and after each.
bool CopyBytes(int in, int out, const CopyProgress& progress) {
  std::vector<char> buf(kCopyChunk);
  if (progress) progress();
  for (;;) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(out, buf.data(), static_cast<std::size_t>(n))) return false;
    if (progress) progress();
  }
}

std::string TempBeside(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "." + base + ".talvi-" + std::to_string(::getpid()) + "-" +
         std::to_string(g_temp_counter.fetch_add(1));
}

bool IsReadOnlyFile(const struct stat& st) {
  return (st.st_mode & S_IWUSR) == 0;
}

}  // namespace

bool CopyOneFile(const std::string& from, const std::string& to_path,
                 const CopyProgress& progress) {
  // A link as destination: the file it names is replaced, not the link.
  std::string to = to_path;
  struct stat link {};
  if (::lstat(to_path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char real[PATH_MAX];
    if (::realpath(to_path.c_str(), real) != nullptr) to = real;
  }
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat src {};
  if (in.get() < 0 || ::fstat(in.get(), &src) != 0 || !S_ISREG(src.st_mode)) return false;
  struct stat dst {};
  if (::stat(to.c_str(), &dst) == 0) {
    if (S_ISDIR(dst.st_mode) || IsReadOnlyFile(dst)) return false;
    const std::int64_t attrs = ReadAttributes(to);
    if (attrs >= 0 && (attrs & kAttrHidden) != 0) return false;
  }
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempBeside(to);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return false;
  }
  Fd out(fd);
  if (out.get() < 0) return false;
  bool ok = CopyBytes(in.get(), out.get(), progress);
  if (ok) {
    char attr[16];
    const ssize_t n = ::fgetxattr(in.get(), kAttribXattr, attr, sizeof attr);
    if (n > 0) ::fsetxattr(out.get(), kAttribXattr, attr, static_cast<std::size_t>(n), 0);
    const timespec times[2] = {{0, UTIME_NOW}, src.st_mtim};
    ok = ::futimens(out.get(), times) == 0 && ::fchmod(out.get(), src.st_mode & 07777) == 0 &&
         ::fsync(out.get()) == 0;
  }
  ok = out.Close() && ok;
  if (ok) ok = ::rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool DeletePlainFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (!S_ISLNK(st.st_mode) && IsReadOnlyFile(st)) return false;
  return ::unlink(path.c_str()) == 0;
}

bool MovePath(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // The file system cannot rename without replacing: check, then rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  if (errno != EXDEV) return false;
  struct stat src {};
  struct stat dst {};
  if (::lstat(from.c_str(), &src) != 0 || !S_ISREG(src.st_mode)) return false;
  if (::lstat(to.c_str(), &dst) == 0) return false;
  if (!CopyOneFile(from, to, nullptr)) return false;
  if (::unlink(from.c_str()) != 0) {
    ::unlink(to.c_str());
    return false;
  }
  return true;
}

bool MakeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    return ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode) &&
           ::unlink(path.c_str()) == 0;
  }
  if (!S_ISDIR(st.st_mode)) return false;
  if ((ReadAttributes(path) & kAttrReadOnly) != 0) return false;
  return ::rmdir(path.c_str()) == 0;
}

bool CopyLink(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  std::vector<char> target(static_cast<std::size_t>(st.st_size) + 1);
  for (;;) {
    const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < target.size()) {
      target[static_cast<std::size_t>(n)] = '\0';
      break;
    }
    target.resize(target.size() * 2);  // the link changed meanwhile
  }
  return ::symlink(target.data(), to.c_str()) == 0;
}

bool ChangeDirectory(const std::string& path) {
  return ::chdir(path.c_str()) == 0;
}

bool CopyLastWriteTime(const std::string& from, const std::string& to) {
  struct stat src {};
  struct stat dst {};
  if (::stat(from.c_str(), &src) != 0 || ::stat(to.c_str(), &dst) != 0) return false;
  if (!S_ISDIR(dst.st_mode) && IsReadOnlyFile(dst)) return false;
  const timespec times[2] = {{0, UTIME_OMIT}, src.st_mtim};
  return ::utimensat(AT_FDCWD, to.c_str(), times, 0) == 0;
}

}  // namespace talvi::os
