// SPDX-License-Identifier: MIT
// talvi-ports: lists the serial ports, or checks one. See kUsage.
#include <iostream>
#include <string>
#include <vector>

#include "ports/ports.h"

namespace {

using talvi::ports::Verdict;

const char kUsage[] =
    "usage: talvi-ports [--all]   list the serial ports (--all: also the built-in\n"
    "                             names that have no hardware behind them)\n"
    "       talvi-ports PORT      check that PORT opens and takes 57600 8N1\n"
    "PORT is named as in TALVI.INI (ttyUSB0, COM3, /dev/serial/by-id/...).\n"
    "Exit status: 0 ready (list: ports found), 1 missing (list: none found),\n"
    "2 no permission, 3 busy, 4 not a serial line or refuses 57600 8N1,\n"
    "5 another error, 64 wrong arguments.\n";

constexpr int kUsageError = 64;

const char* Word(Verdict v) {
  switch (v) {
    case Verdict::kReady: return "ready";
    case Verdict::kMissing: return "missing";
    case Verdict::kNoPermission: return "no permission";
    case Verdict::kBusy: return "busy";
    case Verdict::kNotSerial: return "not usable";
    case Verdict::kFailed: return "failed";
  }
  return "failed";
}

int List(bool all) {
  const auto ports = talvi::ports::ListPorts(all);
  if (ports.empty()) {
    std::cout << "No serial ports found. Plug a USB serial adapter in and run talvi-ports "
                 "again.\n";
    return static_cast<int>(Verdict::kMissing);
  }
  for (const auto& p : ports) {
    std::cout << p.name << "  " << p.path;
    if (!p.details.empty()) std::cout << "  " << p.details;
    std::cout << "\n";
    for (const auto& alias : p.aliases) std::cout << "    also " << alias << "\n";
  }
  std::cout << "Check one with: talvi-ports NAME\n";
  return 0;
}

int Check(const std::string& name) {
  const auto d = talvi::ports::CheckPort(name);
  std::cout << name << ": " << Word(d.verdict) << "\n" << d.problem << "\n";
  if (!d.fix.empty()) std::cout << "Fix: " << d.fix << "\n";
  if (d.verdict == Verdict::kReady) {
    std::cout << "In TALVI.INI:\n[Impostazioni]\nPorta=" << name << "\n";
  }
  return static_cast<int>(d.verdict);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return List(false);
  if (args.size() == 1 && args[0] == "--all") return List(true);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.size() == 1 && !args[0].empty() && args[0][0] != '-') return Check(args[0]);
  std::cerr << kUsage;
  return kUsageError;
}
