// SPDX-License-Identifier: MIT
#include "serial/comm_port.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace talvi::serial {
namespace {

// The most bytes one READCOMM or WRITECOMM moves: counts are 16-bit signed.
constexpr std::size_t kMaxTransfer = 32767;

struct PortTable {
  std::mutex mutex;
  std::unordered_map<Handle, std::shared_ptr<CommPort>> ports;
  Handle next = 1;
};

PortTable& Table() {
  static PortTable table;
  return table;
}

struct WatcherSet {
  std::mutex mutex;
  std::vector<std::uint64_t> ids;
};

WatcherSet& Watchers() {
  static WatcherSet set;
  return set;
}

struct SenderSlot {
  std::mutex mutex;
  std::shared_ptr<const WindowSender> sender;
};

SenderSlot& Sender() {
  static SenderSlot slot;
  return slot;
}

std::shared_ptr<const WindowSender> CurrentSender() {
  SenderSlot& slot = Sender();
  std::lock_guard lock(slot.mutex);
  return slot.sender;
}

}  // namespace

std::uint16_t QueueSizeFrom(std::optional<double> requested, std::uint16_t fallback) {
  if (!requested || std::isnan(*requested)) return fallback;
  // Past 2^53 every double is a multiple of 65536 anyway; clamping first
  // keeps the integer conversion defined for infinities and huge values.
  const double clamped =
      std::clamp(std::trunc(*requested), -9007199254740992.0, 9007199254740992.0);
  const auto whole = static_cast<std::int64_t>(clamped);
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(whole) & 0xFFFFU);
}

int CommPort::Read(std::string& buffer) {
  const std::size_t count = ring_.Take(buffer.data(), std::min(buffer.size(), kMaxTransfer));
  // The wake-up handshake with a watcher that waits for room. Both sides
  // store, then load what the other stored, all seq_cst (the store of the
  // read position is inside Take(), the load inside Room()): in the single
  // total order of these operations one side sees the other's store, so
  // either the watcher sees the room we made, or we see its announcement
  // and wake it. It never sleeps on a ring with room.
  if (count > 0 && wantsRoom_.load(std::memory_order_seq_cst) &&
      wantsRoom_.exchange(false, std::memory_order_seq_cst)) {
    WakeForRoom();
  }
  return static_cast<int>(count);
}

void CommPort::SetNotifyWindow(WindowHandle window) {
  // Release: pairs with the watcher's acquire load in Notify().
  notifyWindow_.store(window, std::memory_order_release);
  if (window == 0) return;
  // The arming half of the handshake of Read(): seq_cst increment, then the
  // seq_cst load of the announcement. Either the watcher, announcing, sees
  // the new count, or we see its announcement and wake it.
  armings_.fetch_add(1, std::memory_order_seq_cst);
  if (wantsRoom_.load(std::memory_order_seq_cst) &&
      wantsRoom_.exchange(false, std::memory_order_seq_cst)) {
    WakeForRoom();
  }
}

CommPort::FullRing CommPort::WaitForRoomOrArming() {
  // Seq_cst store, then the seq_cst loads of the read position in Room()
  // and of the armings: the watcher's half of the handshakes described in
  // Read() and SetNotifyWindow().
  wantsRoom_.store(true, std::memory_order_seq_cst);
  FullRing next = FullRing::kWait;
  if (ring_.Room() > 0) {
    next = FullRing::kRoom;
  } else if (armings_.load(std::memory_order_seq_cst) != armingsAnswered_) {
    next = FullRing::kNotify;
  }
  // Relaxed: a wake-up that this races with only makes one spare pass.
  if (next != FullRing::kWait) wantsRoom_.store(false, std::memory_order_relaxed);
  return next;
}

bool CommPort::ArmedSinceNotified() {
  // The same handshake as WaitForRoomOrArming(), without the room.
  wantsRoom_.store(true, std::memory_order_seq_cst);
  if (armings_.load(std::memory_order_seq_cst) == armingsAnswered_) return false;
  // Relaxed: a wake-up that this races with only makes one spare pass.
  wantsRoom_.store(false, std::memory_order_relaxed);
  return true;
}

bool CommPort::Notify(Handle handle, const std::function<void()>& meanwhile) {
  // Loaded before the window: an arming after this load is still to be
  // answered, one before it shows in the window loaded next.
  const std::uint64_t armings = armings_.load(std::memory_order_seq_cst);
  // Acquire: pairs with SetNotifyWindow(); the window value is all we need.
  const WindowHandle window = notifyWindow_.load(std::memory_order_acquire);
  armingsAnswered_ = armings;
  if (window == 0 || stop_.stop_requested()) return false;
  std::shared_ptr<const WindowSender> sender = CurrentSender();
  if (!sender || !*sender) return false;
  const std::size_t before = ring_.Waiting();
  bool delivered = true;
  try {
    (*sender)(window, WM_COMMNOTIFY, handle, CN_RECEIVE, stop_.get_token(), meanwhile);
  } catch (...) {
    // A window that could not take the message: as with a window that no
    // longer exists, the message goes nowhere and the watcher carries on.
    delivered = false;
  }
  // The handler disarms and re-arms around its READCOMM: those armings are
  // answered by this notification. Whether another one follows depends on
  // what the handler took (below), so a handler that takes nothing is not
  // called again and again.
  armingsAnswered_ = armings_.load(std::memory_order_seq_cst);
  if (!delivered) return false;
  const std::size_t after = ring_.Waiting();
  return after > 0 && after < before && !stop_.stop_requested();
}

Handle RegisterPort(std::shared_ptr<CommPort> port) {
  PortTable& table = Table();
  std::lock_guard lock(table.mutex);
  const Handle handle = table.next++;
  table.ports.emplace(handle, std::move(port));
  return handle;
}

std::shared_ptr<CommPort> FindPort(Handle handle) {
  PortTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.ports.find(handle);
  return it == table.ports.end() ? nullptr : it->second;
}

std::shared_ptr<CommPort> RemovePort(Handle handle) {
  PortTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.ports.find(handle);
  if (it == table.ports.end()) return nullptr;
  std::shared_ptr<CommPort> port = std::move(it->second);
  table.ports.erase(it);
  return port;
}

std::optional<QueueSizes> PortQueueSizes(Handle handle) {
  std::shared_ptr<CommPort> port = FindPort(handle);
  if (!port) return std::nullopt;
  return port->queueSizes();
}

std::size_t PortBytesWaiting(Handle handle) {
  std::shared_ptr<CommPort> port = FindPort(handle);
  return port ? port->bytesWaiting() : 0;
}

std::uint64_t PortWatcherId(Handle handle) {
  std::shared_ptr<CommPort> port = FindPort(handle);
  return port ? port->watcherId() : 0;
}

std::intptr_t PortSystemHandle(Handle handle) {
  std::shared_ptr<CommPort> port = FindPort(handle);
  return port ? port->systemHandle() : -1;
}

WatcherMark::WatcherMark(std::uint64_t systemId) : id_(systemId) {
  WatcherSet& set = Watchers();
  std::lock_guard lock(set.mutex);
  set.ids.push_back(id_);
}

WatcherMark::~WatcherMark() {
  WatcherSet& set = Watchers();
  std::lock_guard lock(set.mutex);
  std::erase(set.ids, id_);
}

std::vector<std::uint64_t> RunningWatchers() {
  WatcherSet& set = Watchers();
  std::lock_guard lock(set.mutex);
  return set.ids;
}

void SetWindowSender(WindowSender sender) {
  auto shared = std::make_shared<const WindowSender>(std::move(sender));
  SenderSlot& slot = Sender();
  std::lock_guard lock(slot.mutex);
  slot.sender = std::move(shared);
}

}  // namespace talvi::serial
