// SPDX-License-Identifier: MIT
#include "remote/line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace talvi::remote {
namespace {

std::string systemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool makeRaw(int fd, speed_t speed) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

Line::Line(int fd, bool pty, std::string peerPath)
    : fd_(fd), pty_(pty), peerPath_(std::move(peerPath)) {}

Line::~Line() {
  if (!link_.empty()) unlink(link_.c_str());
  close(fd_);
}

std::unique_ptr<Line> Line::openPty(std::string& error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0) {
    error = systemError("posix_openpt");
    return nullptr;
  }
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    error = systemError("pseudo-terminal set-up");
    close(master);
    return nullptr;
  }
  // Until the program applies its own settings the slave must not echo or
  // translate anything, or the first bytes would come straight back.
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0 || !makeRaw(slave, B57600)) {
    error = systemError(std::string("raw mode for ") + name);
    if (slave >= 0) close(slave);
    close(master);
    return nullptr;
  }
  close(slave);
  return std::unique_ptr<Line>(new Line(master, true, name));
}

std::unique_ptr<Line> Line::openDevice(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = systemError(path);
    return nullptr;
  }
  if (!makeRaw(fd, B57600)) {
    error = systemError("line settings of " + path);
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<Line>(new Line(fd, false, path));
}

bool Line::link(const std::string& path, std::string& error) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = path + " exists and is not a symbolic link";
      return false;
    }
    unlink(path.c_str());
  }
  if (symlink(peerPath_.c_str(), path.c_str()) != 0) {
    error = systemError("symlink " + path);
    return false;
  }
  link_ = path;
  return true;
}

bool Line::peerOpen() const {
  if (!pty_) return true;
  // The master reports a hang-up for as long as no slave descriptor is open.
  pollfd p{fd_, 0, 0};
  if (poll(&p, 1, 0) < 0) return false;
  return (p.revents & POLLHUP) == 0;
}

bool Line::waitForPeer(std::stop_token stop, std::chrono::milliseconds timeout) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!peerOpen()) {
    if (stop.stop_requested() || std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace talvi::remote
