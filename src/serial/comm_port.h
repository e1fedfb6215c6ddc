// SPDX-License-Identifier: MIT
// The record of one open port, shared by both system backends, and the
// table that maps port handles to records.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

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

  // ENABLECOMMNOTIFICATION. Arming also wakes a watcher that waits for room
  // in a full ring, so that the bytes waiting there are handed over.
  void SetNotifyWindow(WindowHandle window);
  QueueSizes queueSizes() const { return queues_; }
  std::size_t bytesWaiting() const { return ring_.Waiting(); }
  // The system's handle of the device (a descriptor on POSIX).
  virtual std::intptr_t systemHandle() const = 0;
  // The system's id of the watcher thread; 0 until the watcher has started.
  std::uint64_t watcherId() const { return watcherId_.load(std::memory_order_acquire); }

 protected:
  explicit CommPort(QueueSizes queues) : queues_(queues) {}

  // Watcher side: after a batch, sends WM_COMMNOTIFY to the armed window (if
  // any) through the installed sender and waits until it was handled there
  // or the port is closing; `meanwhile` (see WindowSender) runs while the
  // message is on its way. Gives true when the handler took bytes but left
  // some waiting: the watcher then notifies again as soon as no new bytes
  // are at hand, so a handler that takes a fixed amount per notification is
  // not left with bytes that only the next arrival would bring to it.
  bool Notify(Handle handle, const std::function<void()>& meanwhile = {});

  // Watcher side, when the ring is full: what to do next.
  enum class FullRing {
    kRoom,    // room appeared meanwhile: take bytes
    kNotify,  // the notification was armed since the last one: send one
    kWait,    // sleep until WakeForRoom
  };
  // Announces that the watcher wants room, unless room appeared or the
  // notification was armed since the watcher last notified (a ring filled
  // while nobody was notified would otherwise wait for a READCOMM that only
  // a notification brings). While announced, the next Read that takes bytes
  // and the next arming call WakeForRoom.
  FullRing WaitForRoomOrArming();
  // Watcher side, before it sleeps while bytes wait in the ring that no
  // notification has handed over (they came while the notification was
  // off, for example between the open and the first arming): true when the
  // notification was armed since the watcher last notified, so that it
  // notifies now; otherwise announces, and the next arming wakes it with
  // WakeForRoom. Without this a remote that sends a header and then waits
  // for its answer would wait for good.
  bool ArmedSinceNotified();
  // Tells the watcher, sleeping for lack of room, to look again.
  virtual void WakeForRoom() = 0;

  ReceiveRing ring_;
  std::stop_source stop_;
  std::atomic<WindowHandle> notifyWindow_{0};
  std::atomic<bool> wantsRoom_{false};
  // Counts the armings; the watcher notes how many it has answered.
  std::atomic<std::uint64_t> armings_{0};
  std::uint64_t armingsAnswered_ = 0;  // the watcher's own
  std::atomic<std::uint64_t> watcherId_{0};
  QueueSizes queues_;
};

// Marks the calling thread as a running watcher while it lives; the watcher
// thread's first and last act, so that tests can tell that a port's watcher
// has ended without counting the process's threads.
class WatcherMark {
 public:
  explicit WatcherMark(std::uint64_t systemId);
  ~WatcherMark();
  WatcherMark(const WatcherMark&) = delete;
  WatcherMark& operator=(const WatcherMark&) = delete;

 private:
  std::uint64_t id_;
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
// For tests: the system's id of an open port's watcher thread (on Linux its
// kernel thread id), 0 for a handle that is not open or a watcher that has
// not started yet; the system's handle of an open port's device, -1 for a
// handle that is not open.
std::uint64_t PortWatcherId(Handle handle);
std::intptr_t PortSystemHandle(Handle handle);
// For tests: the ids of the watcher threads running now, in no order.
std::vector<std::uint64_t> RunningWatchers();

}  // namespace talvi::serial
