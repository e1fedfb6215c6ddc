// The record of one open port, shared by both system backends, and the
// table that maps port handles to records.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "serial/dcb.h"
#include "serial/ring.h"
#include "serial/serial.h"

namespace talvi::serial {

struct QueueSizes {
  std::uint16_t in = 1024;
  std::uint16_t out = 128;
};

// A queue size as the caller gives it: absent or not a number gives the
// default; anything else is taken as an unsigned 16-bit value (wrapping, as
// an integer cast would), whatever its sign or size.
std::uint16_t QueueSizeFrom(std::optional<double> requested, std::uint16_t fallback);

class CommPort {
 public:
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;
  virtual ~CommPort() = default;

  // Starts the watcher thread; `handle` is what its notifications carry.
  virtual bool Start(Handle handle) = 0;
  // Ends the watcher at once, also when it waits inside a notification. The
  // device itself is released when the record is destroyed.
  virtual void Stop() = 0;
  virtual bool SetState(const Dcb& dcb) = 0;
  // Writes at most 32767 bytes; gives the count the device took, never hangs.
  virtual int Write(std::string_view bytes) = 0;

  // READCOMM: copies waiting bytes over the front of `buffer`.
  int Read(std::string& buffer);

  void SetNotifyWindow(WindowHandle window) {
    // Release: pairs with the watcher's acquire load; nothing else rides on it.
    notifyWindow_.store(window, std::memory_order_release);
  }
  QueueSizes queueSizes() const { return queues_; }
  std::size_t bytesWaiting() const { return ring_.Waiting(); }

 protected:
  explicit CommPort(QueueSizes queues) : queues_(queues) {}

  // Watcher side: after a batch, sends WM_COMMNOTIFY to the armed window (if
  // any) through the installed sender and waits until it was handled there
  // or the port is closing. Gives true when the handler took bytes but left
  // some waiting: the watcher then notifies again as soon as no new bytes
  // are at hand, so a handler that takes a fixed amount per notification is
  // not left with bytes that only the next arrival would bring to it.
  bool Notify(Handle handle);

  // Watcher side, when the ring is full: announces that it wants room and
  // gives false, or gives true when room appeared meanwhile (then it does not
  // wait). While announced, the next Read that takes bytes calls WakeForRoom.
  bool AnnounceWaitForRoom();
  // Tells the watcher, sleeping for lack of room, that there is room now.
  virtual void WakeForRoom() = 0;

  ReceiveRing ring_;
  std::stop_source stop_;
  std::atomic<WindowHandle> notifyWindow_{0};
  std::atomic<bool> wantsRoom_{false};
  QueueSizes queues_;
};

// Opens the named device with this system's calls; nothing on failure.
std::shared_ptr<CommPort> OpenDevice(const std::string& name, QueueSizes queues);

// The handle table. Handles are never reused, so a stale handle finds nothing.
Handle RegisterPort(std::shared_ptr<CommPort> port);
std::shared_ptr<CommPort> FindPort(Handle handle);
std::shared_ptr<CommPort> RemovePort(Handle handle);

// The queue sizes an open port was asked for; nothing for a handle that is
// not open.
std::optional<QueueSizes> PortQueueSizes(Handle handle);
// The bytes waiting in an open port's ring (0 for a handle that is not open).
std::size_t PortBytesWaiting(Handle handle);

}  // namespace talvi::serial
