// SPDX-License-Identifier: MIT
// The simulated remote computer: the sending side of the disk transfer.
//
// For every track side it sends "T" and the track byte, waits for the
// acknowledgement byte 0, then sends the side's 4608 data bytes; after the
// last side it sends "E". Byte 9 from the program at any time breaks the run
// off. Faults can be injected to exercise the program's receive path.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "remote/image.h"
#include "remote/line.h"

namespace talvi::remote {

// 57600 bit/s with 8N1 framing is ten bits per byte.
inline constexpr double kLineBytesPerSecond = 5760.0;

struct Fault {
  enum class Kind {
    // Side `side` stops `count` bytes short, then the line stays silent for
    // `ms` milliseconds before the next command (0: the next "T" follows at
    // once, so it lands inside the track data the program still expects;
    // kUntilResumed: until RemoteThread::resume is called).
    kDrop,
    // Side `side` pauses `ms` milliseconds after its first `count` bytes.
    kStall,
    // The byte `byte` is sent before the "T" of side `side`.
    kStray,
  };
  Kind kind = Kind::kDrop;
  int side = 0;
  int count = 0;
  int ms = 0;
  std::uint8_t byte = 0;
};

// A fault pause that lasts until the test lets the remote go on.
inline constexpr int kUntilResumed = -1;

struct Options {
  // Track sides per disk; ignored when trackBytes is set.
  int sides = kFullDiskSides;
  // Explicit track bytes, one per side sent, instead of the interleaved order.
  std::vector<std::uint8_t> trackBytes;
  // Data source: the file, else generated from the seed.
  std::string imageFile;
  std::uint32_t seed = 1;
  // Bytes per second; 0 sends as fast as the line takes them.
  double rate = 0;
  int disks = 1;
  // Pause after each "E" (the program's save dialog is open meanwhile).
  std::chrono::milliseconds gap{0};
  std::chrono::milliseconds ackTimeout{10000};
  // How long to wait for the program to open its end before giving up.
  std::chrono::milliseconds connectTimeout{30000};
  // How long to keep listening (for byte 9 or a hang-up) after the last disk.
  std::chrono::milliseconds linger{0};
  std::vector<Fault> faults;
};

enum class Outcome {
  kCompleted,   // every disk sent
  kAborted,     // byte 9 received
  kAckTimeout,  // no acknowledgement after a track header
  kHangUp,      // the program closed its end
  kNoPeer,      // the program never opened its end
  kStopped,     // stopped from outside
  kError,       // the data source or the line failed
};

struct Report {
  Outcome outcome = Outcome::kCompleted;
  int disks = 0;            // disks sent whole, "E" included
  int sides = 0;            // track sides whose data went out whole
  std::uint64_t bytes = 0;  // every byte sent
  std::string fromPc;       // every byte received, in order
  std::string error;
};

const char* describe(Outcome outcome);

// The bytes of one disk in sending order, `sides` (or trackBytes.size()) x 4608.
std::optional<std::string> diskData(const Options& options, std::string& error);

// Plays the remote side over `line` until done, stopped, or broken off. A
// pause of kUntilResumed ends once `resume` is true (it is set back to
// false); without `resume` such a pause lasts until the run is stopped.
Report run(const Line& line, const Options& options, std::stop_token stop = {},
           std::atomic<bool>* resume = nullptr);

// A remote on its own pseudo-terminal, running on a thread: what tests and
// benchmarks use in-process.
class RemoteThread {
 public:
  explicit RemoteThread(Options options);
  ~RemoteThread();
  RemoteThread(const RemoteThread&) = delete;
  RemoteThread& operator=(const RemoteThread&) = delete;

  bool ok() const { return line_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& portPath() const;
  // Starts sending (once the program has opened its end).
  void start();
  // Waits for the run to end and gives its report.
  Report wait();
  // True once the run has ended (its report is ready).
  bool finished() const { return finished_.load(std::memory_order_acquire); }
  void stop();
  // Ends the pause of a kUntilResumed fault (now, or when it begins).
  // relaxed: the flag hands over nothing but itself.
  void resume() { resume_.store(true, std::memory_order_relaxed); }

 private:
  Options options_;
  std::unique_ptr<Line> line_;
  std::string error_;
  Report report_;
  std::atomic<bool> finished_{false};  // release after report_ is written
  std::atomic<bool> resume_{false};    // set by resume, taken by the run
  std::jthread thread_;
};

}  // namespace talvi::remote
