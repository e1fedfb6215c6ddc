// SPDX-License-Identifier: MIT
#include <string>

#include "ports/ports.h"
#include "serial/serial.h"

namespace talvi::ports {

Diagnosis CheckPort(const std::string& name) {
  Diagnosis d = ProbePort(name);
  if (d.verdict != Verdict::kReady) return d;
  // Now as the transfer program does it: the same name, the same open, the
  // same settings.
  const std::string device = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
  const serial::Handle port = serial::OPENCOMM(device);
  if (port < 0) {
    d.verdict = Verdict::kBusy;
    d.problem = name + " opened a moment ago, but not now: another program has just taken it.";
    d.fix = "Close the other program (run talvi-ports " + name + " again to see which one).";
    return d;
  }
  std::string dcb;
  const bool set = serial::BUILDCOMMDCB("57600,N,8,1", dcb) && serial::SETCOMMSTATE(port, dcb);
  serial::CLOSECOMM(port);
  if (!set) {
    d.verdict = Verdict::kNotSerial;
    d.problem = name +
                " opens, but its driver refuses 57600 bit/s, no parity, 8 data bits, "
                "1 stop bit.";
    d.fix =
        "Use an adapter (or driver) that offers 57600 bit/s; nearly every USB serial "
        "adapter does.";
    return d;
  }
  d.problem = name + " opens and takes 57600 bit/s, no parity, 8 data bits, 1 stop bit.";
  d.fix.clear();
  return d;
}

}  // namespace talvi::ports
