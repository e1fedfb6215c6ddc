// SPDX-License-Identifier: MIT
// The remote computer's end of the serial line: either the master side of a
// pseudo-terminal pair that it creates (the program opens the slave side as
// its "serial port"), or a real serial device.
#pragma once

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>

namespace talvi::remote {

class Line {
 public:
  // A new pseudo-terminal pair. The slave side is put in raw 8-bit mode and
  // closed again, so the program is its only user. Null on failure, with the
  // reason in `error`.
  static std::unique_ptr<Line> openPty(std::string& error);
  // A serial device, raw, 57600 8N1.
  static std::unique_ptr<Line> openDevice(const std::string& path, std::string& error);

  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Non-blocking descriptor for reads and writes.
  int fd() const { return fd_; }
  bool isPty() const { return pty_; }
  // The path the program should open: the slave of a pty, or the device.
  const std::string& peerPath() const { return peerPath_; }

  // Makes `path` a symbolic link to peerPath(); it is removed again by the
  // destructor. An existing link at that path is replaced; any other file
  // there is left alone and the call fails.
  bool link(const std::string& path, std::string& error);

  // True while some process holds the slave side open (always true for a
  // device).
  bool peerOpen() const;
  // Waits until peerOpen(); false on timeout or stop.
  bool waitForPeer(std::stop_token stop, std::chrono::milliseconds timeout) const;

 private:
  Line(int fd, bool pty, std::string peerPath);
  int fd_;
  bool pty_;
  std::string peerPath_;
  std::string link_;
};

}  // namespace talvi::remote
