// SPDX-License-Identifier: MIT
// The POSIX backend: a terminal device opened exclusively, a watcher thread
// that polls it together with a wake-up descriptor, and plain writes with a
// time bound.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>

#include "serial/comm_port.h"
#include "serial/line_posix.h"
#include "serial/mode.h"

namespace talvi::serial {
namespace {

constexpr std::size_t kMaxWrite = 32767;
constexpr std::size_t kBatch = 1023;
constexpr auto kWriteBound = std::chrono::seconds(2);
// A line that brings only a few bytes per read, read after read (a slow
// line, or a driver that hands over every few milliseconds), is given this
// long to gather more after each read, so that one notification carries many
// bytes rather than a handful: each one wakes the window thread and the
// watcher. The pause is taken while the notification is on its way (see
// WindowSender), so that the watcher sleeps once per notification, not once
// for the handling and once more for the line. The first bytes after a quiet
// spell are handed over at once, a line that fills the reads is read again
// at once, and a write ends the pause, since the answer to it is awaited. A
// USB adapter does the same in its chip (an FTDI one every 16 ms by
// default).
constexpr int kGatherMs = 16;
constexpr std::size_t kGatherBelow = 256;

void SetModemLine(int fd, int line, bool on) {
  // Pseudo-terminals and some adapters have no modem lines: their refusal
  // (ENOTTY, EINVAL) changes nothing that matters, so it is not checked.
  ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

class PosixPort final : public CommPort {
 public:
  PosixPort(int fd, int wake, std::optional<termios> saved, QueueSizes queues)
      : CommPort(queues), fd_(fd), wake_(wake), saved_(saved), gather_([this] { Gather(); }) {}

  ~PosixPort() override {
    Stop();
    if (saved_) {
      ::tcsetattr(fd_, TCSANOW, &*saved_);
      ::ioctl(fd_, TIOCNXCL);
    }
    ::close(fd_);  // also drops the exclusive flock
    ::close(wake_);
  }

  bool Start(Handle handle) override {
    handle_ = handle;
    try {
      watcher_ = std::thread([this] {
        const auto id = static_cast<std::uint64_t>(::gettid());
        const WatcherMark mark(id);
        // Release: pairs with watcherId()'s acquire load.
        watcherId_.store(id, std::memory_order_release);
        Watch();
      });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  void Stop() override {
    stop_.request_stop();  // also releases a sender that is waiting for us
    Wake();
    if (watcher_.joinable()) watcher_.join();
  }

  bool SetState(const Dcb& dcb) override {
    termios current{};
    if (::tcgetattr(fd_, &current) != 0) return false;
    termios wanted = current;
    if (!DcbToTermios(dcb, wanted)) return false;
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0) return false;
    // tcsetattr succeeds when any part was taken: read back what the device
    // really holds and refuse a setting that it did not keep.
    termios got{};
    const tcflag_t kLine = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    if (::tcgetattr(fd_, &got) != 0 || cfgetospeed(&got) != cfgetospeed(&wanted) ||
        cfgetispeed(&got) != cfgetispeed(&wanted) ||
        (got.c_cflag & kLine) != (wanted.c_cflag & kLine)) {
      ::tcsetattr(fd_, TCSANOW, &current);
      return false;
    }
    if (dcb.DtrControl() != kDtrDisable) SetModemLine(fd_, TIOCM_DTR, true);
    if (dcb.DtrControl() == kDtrDisable) SetModemLine(fd_, TIOCM_DTR, false);
    if (dcb.RtsControl() == kRtsEnable) SetModemLine(fd_, TIOCM_RTS, true);
    if (dcb.RtsControl() == kRtsDisable) SetModemLine(fd_, TIOCM_RTS, false);
    return true;
  }

  std::intptr_t systemHandle() const override { return fd_; }

  // Gives the count only for a write that finished: one that is refused,
  // fails or is not finished within the bound gives 0, also when the device
  // took part of it, as a cancelled overlapped write does on Windows.
  int Write(std::string_view bytes) override {
    const std::size_t size = std::min(bytes.size(), kMaxWrite);
    const auto deadline = std::chrono::steady_clock::now() + kWriteBound;
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd_, bytes.data() + done, size - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || errno != EAGAIN) break;  // refused: the device is gone or failing
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd out{fd_, POLLOUT, 0};
      if (::poll(&out, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
      if ((out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (out.revents & POLLOUT) == 0)
        break;
    }
    // The answer to what went out is read as soon as it comes.
    if (done > 0 && gathering_.load(std::memory_order_relaxed)) Wake();
    return done == size ? static_cast<int>(size) : 0;
  }

 protected:
  void WakeForRoom() override { Wake(); }

 private:
  void Wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing to do on failure.
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
  }

  void DrainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(wake_, &count, sizeof count);
  }

  // The line's pause to gather more, taken while a notification is on its
  // way: only a stop, room in the ring, an arming or a write end it early.
  void Gather() {
    // Relaxed: a write that misses the flag only leaves the pause to end
    // by itself; one that sees it wakes us through the descriptor.
    gathering_.store(true, std::memory_order_relaxed);
    pollfd wake{wake_, POLLIN, 0};
    const int ready = ::poll(&wake, 1, kGatherMs);
    gathering_.store(false, std::memory_order_relaxed);
    if (ready > 0 && (wake.revents & POLLIN) != 0) DrainWake();
  }

  // One pass over the device after poll() reported it. False once the device
  // has gone (hung up, failed, or a plain file at its end), so that it is not
  // polled again: a hung-up terminal reports POLLHUP on every poll.
  bool TakeBatch(short revents) {
    char buffer[kBatch + 1];
    const std::size_t asked = std::min(kBatch, ring_.Room());
    const ssize_t n = ::read(fd_, buffer, asked);
    if (n > 0) {
      ring_.Put(buffer, static_cast<std::size_t>(n));
      // Short because the driver had no more, not because the ring did not
      // have the room; and a trickle only when the read before was short
      // too (a fast line's reads come back full, and the one that empties
      // the driver's buffer is no sign of a slow line).
      const auto got = static_cast<std::size_t>(n);
      const bool shortRead = got < kGatherBelow && got < asked;
      const bool gather = shortRead && lastShort_;
      lastShort_ = shortRead;
      notifyAgain_ = gather ? Notify(handle_, gather_) : Notify(handle_);
      return true;
    }
    const bool hungUp = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return !hungUp;
    if (n == 0 && !hungUp && ::isatty(fd_)) return true;  // nothing after all
    return false;
  }

  void Watch() {
    bool deviceGone = false;
    while (!stop_.stop_requested()) {
      // With the ring full, leave the bytes in the driver (and its flow
      // control) until READCOMM makes room and wakes us, or until an arming
      // asks for the bytes that wait in the ring.
      bool wantBytes = false;
      if (!deviceGone) {
        const FullRing next = ring_.Room() > 0 ? FullRing::kRoom : WaitForRoomOrArming();
        if (next == FullRing::kNotify) {
          notifyAgain_ = Notify(handle_);
          continue;
        }
        wantBytes = next == FullRing::kRoom;
      }
      if (!notifyAgain_ && ring_.Waiting() > 0 && ArmedSinceNotified()) {
        notifyAgain_ = Notify(handle_);
        continue;
      }
      pollfd fds[2] = {{wantBytes ? fd_ : -1, POLLIN, 0}, {wake_, POLLIN, 0}};
      const int ready = ::poll(fds, 2, notifyAgain_ ? 0 : -1);
      if (ready < 0) {
        if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      if (ready == 0) {
        notifyAgain_ = Notify(handle_);  // nothing new: hand over what still waits
        continue;
      }
      if ((fds[1].revents & POLLIN) != 0) DrainWake();
      if (fds[0].revents != 0 && !stop_.stop_requested()) deviceGone = !TakeBatch(fds[0].revents);
    }
  }

  int fd_;
  int wake_;
  std::optional<termios> saved_;
  Handle handle_ = -1;
  bool notifyAgain_ = false;            // the watcher's own
  bool lastShort_ = false;              // the watcher's own: the last read was a short one
  std::atomic<bool> gathering_{false};  // the watcher pauses for the line to gather
  const std::function<void()> gather_;  // Gather(), handed to the sender
  std::thread watcher_;
};

}  // namespace

std::shared_ptr<CommPort> OpenDevice(const std::string& name, QueueSizes queues) {
  const std::string path = DevicePath(name);
  if (path.empty()) return nullptr;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // flock() conflicts between any two open descriptions of the device, in
  // this process or another; TIOCEXCL alone does not stop a privileged user.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::optional<termios> saved;
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    saved = tio;
    ::ioctl(fd, TIOCEXCL);
    // A raw 8-bit line at once, so nothing is echoed or translated before
    // the settings arrive.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    SetModemLine(fd, TIOCM_DTR, true);
  }
  const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) {
    if (saved) ::tcsetattr(fd, TCSANOW, &*saved);
    ::close(fd);
    return nullptr;
  }
  return std::make_shared<PosixPort>(fd, wake, saved, queues);
}

bool BUILDCOMMDCB(const std::string& mode, std::string& dcb) {
  Dcb record;
  if (!ParseCommMode(mode, record)) {
    dcb.clear();
    return false;
  }
  dcb = EncodeDcb(record);
  return true;
}

}  // namespace talvi::serial
