// SPDX-License-Identifier: MIT
// The port functions as the application calls them: handles in, plain
// results out, never an exception or a crash for a handle that is not open.
#include "serial/serial.h"

#include <memory>

#include "serial/comm_port.h"

namespace talvi::serial {

Handle OPENCOMM(const std::string& name, std::optional<double> inQueue,
                std::optional<double> outQueue) {
  const QueueSizes queues{QueueSizeFrom(inQueue, 1024), QueueSizeFrom(outQueue, 128)};
  std::shared_ptr<CommPort> port = OpenDevice(name, queues);
  if (!port) return -1;
  const Handle handle = RegisterPort(port);
  if (!port->Start(handle)) {
    RemovePort(handle);
    return -1;
  }
  return handle;
}

bool SETCOMMSTATE(Handle port, const std::string& dcb) {
  std::shared_ptr<CommPort> p = FindPort(port);
  if (!p) return false;
  std::optional<Dcb> record = DecodeDcb(dcb);
  return record && p->SetState(*record);
}

bool CLOSECOMM(Handle port) {
  if (std::shared_ptr<CommPort> p = RemovePort(port)) {
    p->Stop();
    // The device is released here, as the last owner lets go.
  }
  return true;
}

int READCOMM(Handle port, std::string& buffer, std::optional<double> /*timeLimitMs*/) {
  std::shared_ptr<CommPort> p = FindPort(port);
  return p ? p->Read(buffer) : 0;
}

int WRITECOMM(Handle port, const std::string& bytes) {
  std::shared_ptr<CommPort> p = FindPort(port);
  return p ? p->Write(bytes) : 0;
}

bool ENABLECOMMNOTIFICATION(Handle port, WindowHandle window, double /*rxThreshold*/,
                            double /*txThreshold*/) {
  if (std::shared_ptr<CommPort> p = FindPort(port)) p->SetNotifyWindow(window);
  return true;
}

}  // namespace talvi::serial
