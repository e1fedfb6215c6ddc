// SPDX-License-Identifier: MIT
// Linux: what opening a terminal device says, told apart by its error, and
// who else has the device open (from /proc, as far as this user may look).
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ports/ports.h"
#include "serial/line_posix.h"

namespace talvi::ports {
namespace {

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The processes other than this one with a descriptor on device `rdev`.
// Processes of other users cannot be looked into without privilege;
// `hidden` tells whether there were any.
std::vector<Holder> Holders(dev_t rdev, bool& hidden) {
  std::vector<Holder> found;
  hidden = false;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return found;
  const long self = static_cast<long>(::getpid());
  while (const dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || pid == self) continue;
    const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (fds == nullptr) {
      if (errno == EACCES) hidden = true;
      continue;
    }
    bool holds = false;
    while (const dirent* f = ::readdir(fds)) {
      struct stat st {};
      if (f->d_name[0] == '.' || ::stat((fdDir + "/" + f->d_name).c_str(), &st) != 0) continue;
      if (S_ISCHR(st.st_mode) && st.st_rdev == rdev) holds = true;
    }
    ::closedir(fds);
    if (holds) found.push_back({pid, ReadLine(std::string("/proc/") + e->d_name + "/comm")});
  }
  ::closedir(proc);
  std::sort(found.begin(), found.end(),
            [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
  return found;
}

// A lock file of the old UUCP kind (/run/lock/LCK..ttyUSB0, kept by
// minicom and others) whose process still runs: its pid, else 0.
long LockFileOwner(const std::string& path) {
  const std::string base = path.substr(path.find_last_of('/') + 1);
  for (const char* dir : {"/run/lock/", "/var/lock/"}) {
    const std::string text = ReadLine(std::string(dir) + "LCK.." + base);
    const long pid = std::strtol(text.c_str(), nullptr, 10);
    if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return pid;
  }
  return 0;
}

std::string UserName() {
  const passwd* pw = ::getpwuid(::geteuid());
  return pw != nullptr ? pw->pw_name : std::to_string(::geteuid());
}

bool ProcessHasGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(n, 0), gid) !=
         groups.begin() + std::max(n, 0);
}

void NoPermission(Diagnosis& d, const std::string& name, const struct stat& st) {
  d.verdict = Verdict::kNoPermission;
  const group* gr = ::getgrgid(st.st_gid);
  const std::string group = gr != nullptr ? gr->gr_name : std::to_string(st.st_gid);
  const std::string user = UserName();
  const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  d.problem = name + " is there, but user " + user + " may not open it (" + d.path +
              " belongs to group " + group + ").";
  if (!groupMayUse || st.st_gid == 0) {
    const passwd* owner = ::getpwuid(st.st_uid);
    const std::string kernelName = d.path.rfind("/dev/", 0) == 0 ? d.path.substr(5) : d.path;
    d.fix = std::string("Only ") + (owner != nullptr ? owner->pw_name : "its owner") +
            " may open it. Give it to the dialout group with a udev rule, for example a line "
            "KERNEL==\"" +
            kernelName +
            "\", GROUP=\"dialout\", MODE=\"0660\" in /etc/udev/rules.d/50-talvi.rules, then "
            "join that group: sudo usermod -aG dialout " +
            user + ", and log out and back in.";
    return;
  }
  bool listed = false;
  if (gr != nullptr) {
    for (char** m = gr->gr_mem; *m != nullptr; ++m) listed = listed || user == *m;
  }
  if (listed && !ProcessHasGroup(st.st_gid)) {
    d.fix = "User " + user + " is in the group " + group +
            " already, but this login began before that: log out and back in (or run "
            "newgrp " +
            group + " in this terminal).";
  } else {
    d.fix = "Join the group " + group + ": sudo usermod -aG " + group + " " + user +
            ", then log out and back in.";
  }
}

void Busy(Diagnosis& d, const std::string& name, const std::string& why, bool hidden) {
  d.verdict = Verdict::kBusy;
  d.problem = name + " is there, but " + why;
  if (!d.holders.empty()) {
    d.problem += " It is open in:";
    for (const auto& h : d.holders) {
      d.problem += " " + h.command + " (process " + std::to_string(h.pid) + ")";
      if (&h != &d.holders.back()) d.problem += ",";
    }
    d.problem += ".";
  } else if (hidden) {
    d.problem +=
        " Which program has it is not visible to this user (run talvi-ports as root "
        "to see it).";
  }
  d.fix =
      "Close the program that has it (a terminal program, another transfer program, "
      "ModemManager: sudo systemctl stop ModemManager), then try again.";
}

}  // namespace

Diagnosis ProbePort(const std::string& name) {
  Diagnosis d;
  d.path = serial::DevicePath(name);
  if (d.path.empty()) {
    d.verdict = Verdict::kMissing;
    d.problem = "\"" + name + "\" names no port.";
    d.fix = "Name a port that talvi-ports lists.";
    return d;
  }
  const std::string missingFix =
      "Plug the adapter in and run talvi-ports to see the name it got (USB adapters are "
      "ttyUSB0 or ttyACM0; COM1 is /dev/ttyS0).";
  struct stat st {};
  if (::stat(d.path.c_str(), &st) != 0) {
    const int error = errno;
    struct stat link {};
    d.verdict = error == EACCES ? Verdict::kNoPermission : Verdict::kMissing;
    if (error == EACCES) {
      d.problem = "user " + UserName() + " may not look into the folder of " + d.path + ".";
      d.fix = "Name the device by a path this user may reach (talvi-ports lists them).";
    } else if (::lstat(d.path.c_str(), &link) == 0) {
      d.problem = name + " is a link to a device that is gone (the adapter was unplugged?).";
      d.fix = missingFix;
    } else {
      d.problem = "There is no " + d.path + ".";
      d.fix = missingFix;
    }
    return d;
  }
  if (!S_ISCHR(st.st_mode)) {
    d.verdict = Verdict::kNotSerial;
    d.problem =
        d.path + " is " + (S_ISDIR(st.st_mode) ? "a folder" : "a file") + ", not a serial device.";
    d.fix = "Name a port that talvi-ports lists.";
    return d;
  }
  bool hidden = false;
  d.holders = Holders(st.st_rdev, hidden);
  const int fd = ::open(d.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == EACCES || error == EPERM) {
      NoPermission(d, name, st);
    } else if (error == EBUSY) {
      Busy(d, name, "another program has opened it for itself alone.", hidden);
    } else if (error == ENXIO || error == ENODEV || error == EIO) {
      d.verdict = Verdict::kMissing;
      d.problem =
          d.path + " is there, but no device answers behind it (" + std::strerror(error) + ").";
      d.fix = missingFix;
    } else {
      d.verdict = Verdict::kFailed;
      d.problem = d.path + " does not open: " + std::strerror(error) + ".";
      d.fix = "Unplug the adapter and plug it in again.";
    }
    return d;
  }
  const bool terminal = ::isatty(fd) != 0;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  int exclusive = 0;
  // Root opens a device that another program holds exclusively; it is busy
  // all the same.
  if (terminal && ::ioctl(fd, TIOCGEXCL, &exclusive) != 0) exclusive = 0;
  ::close(fd);
  const long lockOwner = LockFileOwner(d.path);
  if (!terminal) {
    d.verdict = Verdict::kNotSerial;
    d.problem = d.path + " is a device, but not a serial line.";
    d.fix = "Name a port that talvi-ports lists.";
  } else if (locked) {
    Busy(d, name, "another program (TALVI, or another copy of it) holds it.", hidden);
  } else if (exclusive != 0) {
    Busy(d, name, "another program has opened it for itself alone.", hidden);
  } else if (lockOwner != 0) {
    Busy(d, name,
         "a lock file names process " + std::to_string(lockOwner) + " as the one using it.",
         hidden);
  } else if (!d.holders.empty()) {
    Busy(d, name, "another program has it open: both would read what the line brings.", hidden);
  } else {
    d.verdict = Verdict::kReady;
  }
  return d;
}

}  // namespace talvi::ports
