// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "os/atomic_file.h"
#include "os/attributes.h"

namespace talvi::os {
namespace {

std::atomic<unsigned> g_counter{0};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The file a path names, symbolic links followed; the path itself when it
// does not exist yet.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf) != nullptr) return buf;
  }
  return path;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const std::string target = ResolveTarget(path);
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) return false;

  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) return false;
  // A read-only file is not replaced (as on Windows), even for root.
  if (existed && (old.st_mode & S_IWUSR) == 0) return false;

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = (slash == std::string::npos ? std::string() : dir) + "." + base + ".talvi-" +
           std::to_string(::getpid()) + "-" + std::to_string(g_counter.fetch_add(1));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, bytes);
  if (ok && existed) {
    // The hidden and system bits travel with the file (set before the mode,
    // which may take the write permission away).
    char attr[16];
    const ssize_t n = ::getxattr(target.c_str(), kAttribXattr, attr, sizeof attr);
    if (n > 0 && ::fsetxattr(fd, kAttribXattr, attr, static_cast<std::size_t>(n), 0) != 0) {
      ok = false;
    }
    ok = ok && ::fchmod(fd, old.st_mode & 07777) == 0;
    // Keeping the owner needs privileges; a file we may write is enough.
    [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

}  // namespace talvi::os
