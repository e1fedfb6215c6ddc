// SPDX-License-Identifier: MIT
#include "remote/remote.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace talvi::remote {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kAbortByte = 9;
constexpr char kAckByte = 0;

// One run over one line. Every wait also takes what the program sends, so
// byte 9 and a hang-up are seen whatever the remote is doing.
class Session {
 public:
  Session(const Line& line, const Options& options, std::stop_token stop, std::atomic<bool>* resume)
      : line_(line), options_(options), stop_(std::move(stop)), resume_(resume) {}

  Report play() {
    std::string error;
    const auto data = diskData(options_, error);
    if (!data) return fail(error);
    if (!line_.waitForPeer(stop_, options_.connectTimeout)) {
      report_.outcome = stop_.stop_requested() ? Outcome::kStopped : Outcome::kNoPeer;
      return report_;
    }
    const int sides = static_cast<int>(data->size() / kSideBytes);
    for (int disk = 0; disk < options_.disks; ++disk) {
      for (int side = 0; side < sides; ++side) {
        if (!sendSide(*data, side)) return report_;
      }
      if (!send("E")) return report_;
      ++report_.disks;
      if (disk + 1 < options_.disks && !listen(options_.gap)) return report_;
    }
    listen(options_.linger);
    return report_;
  }

 private:
  Report fail(const std::string& error) {
    report_.outcome = Outcome::kError;
    report_.error = error;
    return report_;
  }

  std::uint8_t trackByteOf(int side) const {
    if (!options_.trackBytes.empty()) {
      return options_.trackBytes[static_cast<std::size_t>(side)];
    }
    return trackByte(side);
  }

  const Fault* faultAt(Fault::Kind kind, int side) const {
    for (const Fault& f : options_.faults) {
      if (f.kind == kind && f.side == side) return &f;
    }
    return nullptr;
  }

  bool sendSide(const std::string& data, int side) {
    if (const Fault* stray = faultAt(Fault::Kind::kStray, side)) {
      if (!send(std::string(1, static_cast<char>(stray->byte)))) return false;
    }
    const std::string header = {'T', static_cast<char>(trackByteOf(side))};
    if (!send(header) || !waitAck()) return false;
    std::string block = data.substr(static_cast<std::size_t>(side) * kSideBytes, kSideBytes);
    const Fault* drop = faultAt(Fault::Kind::kDrop, side);
    if (drop != nullptr) {
      block.resize(block.size() - std::min(block.size(), static_cast<std::size_t>(drop->count)));
    }
    const Fault* stall = faultAt(Fault::Kind::kStall, side);
    if (stall != nullptr) {
      const std::size_t at = std::min(block.size(), static_cast<std::size_t>(stall->count));
      if (!send(block.substr(0, at)) || !pause(stall->ms)) return false;
      block.erase(0, at);
    }
    if (!send(block)) return false;
    if (drop != nullptr) return pause(drop->ms);
    ++report_.sides;
    return true;
  }

  // Takes whatever the program has sent; false once the run must end.
  bool drain() {
    char buf[256];
    for (;;) {
      const ssize_t n = read(line_.fd(), buf, sizeof buf);
      if (n > 0) {
        const std::size_t old = report_.fromPc.size();
        report_.fromPc.append(buf, static_cast<std::size_t>(n));
        if (report_.fromPc.find(kAbortByte, old) != std::string::npos) {
          report_.outcome = Outcome::kAborted;
          return false;
        }
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
      // EIO (or end of file) on a pty master: the program closed its end.
      report_.outcome = Outcome::kHangUp;
      return false;
    }
    if (stop_.stop_requested()) {
      report_.outcome = Outcome::kStopped;
      return false;
    }
    return true;
  }

  // Waits up to `ms` for the line to become ready for `events`, listening to
  // the program meanwhile. Gives the poll result bits, or -1 to end the run.
  int await(short events, milliseconds ms) {
    pollfd p{line_.fd(), static_cast<short>(events | POLLIN), 0};
    const int wait = static_cast<int>(std::min<long long>(ms.count(), 20));
    if (poll(&p, 1, std::max(wait, 0)) < 0 && errno != EINTR) {
      fail(std::string("poll: ") + std::strerror(errno));
      return -1;
    }
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !drain()) return -1;
    if (stop_.stop_requested()) {
      report_.outcome = Outcome::kStopped;
      return -1;
    }
    return p.revents;
  }

  bool listen(milliseconds span) {
    const auto end = Clock::now() + span;
    if (!drain()) return false;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
      if (await(0, std::chrono::duration_cast<milliseconds>(end - now) + milliseconds(1)) < 0) {
        return false;
      }
    }
    return true;
  }

  // A fault's pause: `ms` milliseconds, or until resumed.
  bool pause(int ms) {
    if (ms != kUntilResumed) return listen(milliseconds(ms));
    for (;;) {
      // relaxed: the flag hands over nothing but itself.
      if (resume_ != nullptr && resume_->exchange(false, std::memory_order_relaxed)) return true;
      if (await(0, milliseconds(20)) < 0) return false;
    }
  }

  bool waitAck() {
    const auto end = Clock::now() + options_.ackTimeout;
    for (;;) {
      if (!drain()) return false;
      const auto pos = report_.fromPc.find(kAckByte, consumed_);
      if (pos != std::string::npos) {
        consumed_ = pos + 1;
        paceStart_ = Clock::now();
        paceSent_ = 0;
        return true;
      }
      const auto now = Clock::now();
      if (now >= end) {
        report_.outcome = Outcome::kAckTimeout;
        return false;
      }
      if (await(0, std::chrono::duration_cast<milliseconds>(end - now) + milliseconds(1)) < 0) {
        return false;
      }
    }
  }

  bool send(const std::string& bytes) {
    // At the line rate the bytes go out in small slices on a schedule;
    // unthrottled they go out as fast as the pty takes them.
    const std::size_t slice = options_.rate > 0 ? 32 : 4096;
    std::size_t done = 0;
    while (done < bytes.size()) {
      if (!drain()) return false;
      if (options_.rate > 0) {
        const auto due = paceStart_ + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(paceSent_ / options_.rate));
        const auto now = Clock::now();
        if (due > now) {
          if (await(0, std::chrono::duration_cast<milliseconds>(due - now) + milliseconds(1)) < 0) {
            return false;
          }
          continue;
        }
      }
      const std::size_t n = std::min(slice, bytes.size() - done);
      const ssize_t written = write(line_.fd(), bytes.data() + done, n);
      if (written > 0) {
        done += static_cast<std::size_t>(written);
        report_.bytes += static_cast<std::uint64_t>(written);
        paceSent_ += static_cast<double>(written);
        continue;
      }
      if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (await(POLLOUT, milliseconds(20)) < 0) return false;
        continue;
      }
      report_.outcome = Outcome::kHangUp;
      return false;
    }
    return true;
  }

  const Line& line_;
  const Options& options_;
  std::stop_token stop_;
  std::atomic<bool>* resume_;
  Report report_;
  std::size_t consumed_ = 0;
  Clock::time_point paceStart_ = Clock::now();
  double paceSent_ = 0;
};

}  // namespace

const char* describe(Outcome outcome) {
  switch (outcome) {
    case Outcome::kCompleted: return "completed";
    case Outcome::kAborted: return "broken off by the program (byte 9)";
    case Outcome::kAckTimeout: return "no acknowledgement after a track header";
    case Outcome::kHangUp: return "the program closed the line";
    case Outcome::kNoPeer: return "the program never opened the line";
    case Outcome::kStopped: return "stopped";
    case Outcome::kError: return "error";
  }
  return "?";
}

std::optional<std::string> diskData(const Options& options, std::string& error) {
  const int sides =
      options.trackBytes.empty() ? options.sides : static_cast<int>(options.trackBytes.size());
  if (options.imageFile.empty()) return generateImage(sides, options.seed);
  auto data = loadImage(options.imageFile, sides);
  if (!data) error = "cannot read " + options.imageFile;
  return data;
}

Report run(const Line& line, const Options& options, std::stop_token stop,
           std::atomic<bool>* resume) {
  return Session(line, options, std::move(stop), resume).play();
}

RemoteThread::RemoteThread(Options options) : options_(std::move(options)) {
  line_ = Line::openPty(error_);
}

RemoteThread::~RemoteThread() {
  stop();
  if (thread_.joinable()) thread_.join();
}

const std::string& RemoteThread::portPath() const {
  static const std::string none;
  return line_ ? line_->peerPath() : none;
}

void RemoteThread::start() {
  if (!line_ || thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) {
    report_ = run(*line_, options_, stop, &resume_);
    finished_.store(true, std::memory_order_release);
  });
}

Report RemoteThread::wait() {
  if (thread_.joinable()) thread_.join();
  return report_;
}

void RemoteThread::stop() {
  if (thread_.joinable()) thread_.request_stop();
}

}  // namespace talvi::remote
