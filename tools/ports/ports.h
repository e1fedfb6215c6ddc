// SPDX-License-Identifier: MIT
// talvi-ports: the serial ports this machine has, and for one port whether
// the transfer program can use it, and if not, why and what to do.
#pragma once

#include <string>
#include <vector>

namespace talvi::ports {

// A serial port the system knows.
struct PortEntry {
  std::string name;     // what TALVI.INI's Porta takes: ttyUSB0, COM3
  std::string path;     // the device: /dev/ttyUSB0, \\.\COM3
  std::string details;  // what the system says about it (USB vendor and product, driver)
  std::vector<std::string> aliases;  // other names of it (/dev/serial/by-id/...)
};

// Where the listing looks; the defaults are the system's own folders (a
// test points them at a tree of its own, the one part a machine without a
// USB adapter cannot show).
struct Roots {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

// The ports, sorted by name. Built-in ports that the system reserves a name
// for but that have no hardware behind them are left out unless `all`.
std::vector<PortEntry> ListPorts(bool all, const Roots& roots = {});

// What is the matter with a port. The values are talvi-ports' exit codes.
enum class Verdict {
  kReady = 0,         // opens and takes 57600 8N1
  kMissing = 1,       // no such port, or no device behind its name
  kNoPermission = 2,  // present, but this user may not open it
  kBusy = 3,          // present, but another program has it
  kNotSerial = 4,     // opens, but is no serial line or refuses 57600 8N1
  kFailed = 5,        // the system gave an error of another kind
};

// A process that has the port open.
struct Holder {
  long pid = 0;
  std::string command;
};

struct Diagnosis {
  Verdict verdict = Verdict::kFailed;
  std::string path;     // the device the name stands for
  std::string problem;  // what is the matter, in plain words
  std::string fix;      // what to do about it; empty when ready
  std::vector<Holder> holders;
};

// What the system says when the device is opened the way the transfer
// program opens it, short of the line settings (one system's part).
Diagnosis ProbePort(const std::string& name);

// The whole check: ProbePort, then the port opened through the serial layer
// and set to 57600 bit/s, no parity, 8 data bits, 1 stop bit.
Diagnosis CheckPort(const std::string& name);

}  // namespace talvi::ports
