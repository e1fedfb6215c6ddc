// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "os/drive.h"

namespace talvi::os {
namespace {

struct Mount {
  std::string point;
  std::string fs_type;
  std::string device;  // "major:minor"
};

bool IsOctal(char c) {
  return c >= '0' && c <= '7';
}

// Octal escapes of mountinfo ("\040" for a blank) undone.
std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && IsOctal(s[i + 1]) && IsOctal(s[i + 2]) &&
        IsOctal(s[i + 3])) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool Within(const std::string& path, const std::string& point) {
  if (point == "/") return true;
  return path.compare(0, point.size(), point) == 0 &&
         (path.size() == point.size() || path[point.size()] == '/');
}

// The mount with the longest mount point holding the path (the last one
// listed wins among equals, as later mounts cover earlier ones).
bool FindMount(const std::string& path, Mount& found) {
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  bool any = false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point, word;
    fields >> id >> parent >> device >> root >> point;
    while (fields >> word && word != "-") {
    }
    std::string fs_type;
    fields >> fs_type;
    point = Unescape(point);
    if (!Within(path, point)) continue;
    if (!any || point.size() >= found.point.size()) {
      found = Mount{point, fs_type, device};
      any = true;
    }
  }
  return any;
}

bool ReadFlag(const std::string& file) {
  std::ifstream in(file);
  int v = 0;
  return (in >> v) && v == 1;
}

bool Removable(const std::string& device) {
  const std::string base = "/sys/dev/block/" + device;
  return ReadFlag(base + "/removable") || ReadFlag(base + "/../removable");
}

}  // namespace

int DriveType(const std::string& path) {
  char real[PATH_MAX];
  struct stat st {};
  if (::realpath(path.empty() ? "." : path.c_str(), real) == nullptr || ::stat(real, &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    return kDriveNoRootDir;
  }
  Mount m;
  if (!FindMount(real, m)) return kDriveUnknown;
  return DriveTypeOf(m.fs_type, Removable(m.device));
}

std::uint64_t DiskFreeBytes(const std::string& path) {
  struct statvfs vfs {};
  if (::statvfs(path.empty() ? "." : path.c_str(), &vfs) != 0) return 0;
  return static_cast<std::uint64_t>(vfs.f_bfree) * vfs.f_frsize;
}

}  // namespace talvi::os
