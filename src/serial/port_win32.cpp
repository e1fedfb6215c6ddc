// SPDX-License-Identifier: MIT
// The Windows backend: the device opened for overlapped use, a watcher
// thread waiting on WaitCommEvent, overlapped reads and writes that are
// always waited for (with a bound for writes), and a close that stops the
// watcher by waking it instead of killing it and releases the device at once.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "serial/comm_port.h"
#include "serial/win32_faults.h"

namespace talvi::serial {
namespace {

static_assert(sizeof(DCB) == kDcbSize, "the line-settings record is 28 bytes");

constexpr DWORD kBatch = 1023;
constexpr DWORD kMaxWrite = 32767;
constexpr DWORD kWriteBoundMs = 2000;
// How long CLOSECOMM waits for the watcher to leave before it closes the
// device all the same; leaving normally takes a few microseconds, since
// every wait of the watcher also watches the stop event.
constexpr DWORD kStopBoundMs = 5000;
// The pause after a wait for arrivals that ended without one, or a failed read.
constexpr DWORD kRetryPauseMs = 10;

HANDLE NewEvent(bool manualReset) {
  return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

// Reads of the watchers that are still to fail on cue (see win32_faults.h).
std::atomic<int> failingReads{0};
std::atomic<DWORD> failingReadError{0};

// Takes one failure of those asked for by FailNextReads, if any is left.
bool TakeInjectedReadFailure() {
  // Relaxed: a counter on its own; tests set it before the reads it concerns.
  int left = failingReads.load(std::memory_order_relaxed);
  while (left > 0 &&
         !failingReads.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
  }
  if (left <= 0) return false;
  ::SetLastError(failingReadError.load(std::memory_order_relaxed));
  return true;
}

class Win32Port final : public CommPort, public std::enable_shared_from_this<Win32Port> {
 public:
  Win32Port(HANDLE device, HANDLE stopEvent, HANDLE roomEvent, QueueSizes queues)
      : CommPort(queues),
        device_(device),
        resultHandle_(device),
        stopEvent_(stopEvent),
        roomEvent_(roomEvent) {
    ::InitializeCriticalSection(&deviceLock_);
  }

  // Runs when the last owner lets go: CLOSECOMM, or the watcher itself when
  // it left later than CLOSECOMM waited for it. The device is closed by
  // then, unless the port never started.
  ~Win32Port() override {
    CloseDevice();
    ::CloseHandle(stopEvent_);
    ::CloseHandle(roomEvent_);
    ::DeleteCriticalSection(&deviceLock_);
  }

  bool Start(Handle handle) override {
    handle_ = handle;
    // The watcher owns a reference, so the record outlives it whatever
    // happens to the port table.
    auto* self = new std::shared_ptr<Win32Port>(shared_from_this());
    thread_ = ::CreateThread(nullptr, 0, &ThreadMain, self, 0, &threadId_);
    if (thread_ == nullptr) {
      delete self;
      return false;
    }
    // Release: pairs with watcherId()'s acquire load.
    watcherId_.store(threadId_, std::memory_order_release);
    return true;
  }

  // The device is closed before this returns, however long the watcher
  // takes to leave, so that it can be opened again at once. A watcher that
  // outstays the bound (held in a window layer that does not let go of it)
  // finds the device closed and leaves when it is let go.
  void Stop() override {
    stop_.request_stop();  // also releases a sender that is waiting for us
    ::SetEvent(stopEvent_);
    // Ends a WaitCommEvent in progress.
    OnDevice([](HANDLE device) { return ::SetCommMask(device, 0) != 0; });
    if (thread_ != nullptr) {
      if (::GetCurrentThreadId() != threadId_) ::WaitForSingleObject(thread_, kStopBoundMs);
      ::CloseHandle(thread_);
      thread_ = nullptr;
    }
    CloseDevice();
  }

  std::intptr_t systemHandle() const override {
    return reinterpret_cast<std::intptr_t>(resultHandle_);
  }

  bool SetState(const Dcb& dcb) override {
    const std::string bytes = EncodeDcb(dcb);
    DCB record{};
    std::memcpy(&record, bytes.data(), kDcbSize);
    return OnDevice([&](HANDLE device) { return ::SetCommState(device, &record) != 0; });
  }

  // Gives the count of a write that finished; a write that is refused,
  // fails or is not finished within the bound gives 0.
  int Write(std::string_view bytes) override {
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kMaxWrite));
    OVERLAPPED ov{};
    ov.hEvent = NewEvent(true);
    if (ov.hEvent == nullptr) return 0;
    bool pending = false;
    const bool done = OnDevice([&](HANDLE device) {
      if (::WriteFile(device, bytes.data(), size, nullptr, &ov)) return true;
      pending = ::GetLastError() == ERROR_IO_PENDING;
      return false;
    });
    DWORD written = 0;
    if (done || pending) {
      if (pending && ::WaitForSingleObject(ov.hEvent, kWriteBoundMs) != WAIT_OBJECT_0) {
        // Not done in time: cancel it and wait for the cancellation, so the
        // block on our stack is no longer the system's when we return.
        OnDevice([](HANDLE device) { return ::CancelIo(device) != 0; });
      }
      if (!Outcome(ov, written)) written = 0;
    }
    ::CloseHandle(ov.hEvent);
    return static_cast<int>(written);
  }

 protected:
  void WakeForRoom() override { ::SetEvent(roomEvent_); }

 private:
  static DWORD WINAPI ThreadMain(LPVOID param) {
    // Declared first, so that it ends after the record has been let go.
    const WatcherMark mark(::GetCurrentThreadId());
    std::unique_ptr<std::shared_ptr<Win32Port>> self(
        static_cast<std::shared_ptr<Win32Port>*>(param));
    (*self)->Watch();
    return 0;
  }

  // Makes one call on the device while it is open; false once it has been
  // closed. Only calls that return at once go through here: closing waits
  // for them, and a closed handle's value may already name something else.
  template <typename Call>
  bool OnDevice(Call call) {
    ::EnterCriticalSection(&deviceLock_);
    const bool done = device_ != INVALID_HANDLE_VALUE && call(device_);
    ::LeaveCriticalSection(&deviceLock_);
    return done;
  }

  void CloseDevice() {
    ::EnterCriticalSection(&deviceLock_);
    if (device_ != INVALID_HANDLE_VALUE) ::CloseHandle(device_);
    device_ = INVALID_HANDLE_VALUE;
    ::LeaveCriticalSection(&deviceLock_);
  }

  // Waits until an overlapped request has ended (completed, cancelled, or
  // ended by the device's closing: until then the system may still write
  // into `ov`) and gives its success and byte count. With an event in the
  // block, GetOverlappedResult waits on that event and does not use the
  // file handle, so the value kept from the open serves after the close.
  bool Outcome(OVERLAPPED& ov, DWORD& count) {
    return ::GetOverlappedResult(resultHandle_, &ov, &count, TRUE) != 0;
  }

  // Waits, at most until the port closes, for an overlapped request to end;
  // a request still running at close is cancelled and waited for. Gives the
  // request's success and its byte count.
  bool Finish(OVERLAPPED& ov, DWORD& count, HANDLE wake = nullptr, bool* woken = nullptr) {
    HANDLE events[3] = {ov.hEvent, stopEvent_, wake};
    const DWORD n = wake != nullptr ? 3 : 2;
    const DWORD which = ::WaitForMultipleObjects(n, events, FALSE, INFINITE);
    if (woken != nullptr) *woken = which == WAIT_OBJECT_0 + 2;
    if (which != WAIT_OBJECT_0) {
      OnDevice([](HANDLE device) { return ::CancelIo(device) != 0; });
    }
    return Outcome(ov, count);
  }

  // Waits for a received character. False when the wait ended without one
  // (the mask changed, the driver aborted it, or the port refuses to wait).
  bool WaitForArrival(OVERLAPPED& ov) {
    DWORD mask = 0;
    ::ResetEvent(ov.hEvent);
    bool pending = false;
    const bool done = OnDevice([&](HANDLE device) {
      if (::WaitCommEvent(device, &mask, &ov)) return true;
      pending = ::GetLastError() == ERROR_IO_PENDING;
      return false;
    });
    if (done) return true;
    if (!pending) return false;
    DWORD ignored = 0;
    // An arming wakes the wait too (the request is cancelled), so that
    // bytes waiting in the ring are handed over without a new arrival.
    bool woken = false;
    return Finish(ov, ignored, roomEvent_, &woken) || woken;
  }

  // Reads `want` bytes that the driver holds, waiting for the read to
  // complete: a pending read is not "nothing read". Gives false when the
  // read failed; `got` then still counts what it delivered.
  bool ReadBatch(OVERLAPPED& ov, char* buffer, DWORD want, DWORD& got) {
    got = 0;
    if (TakeInjectedReadFailure()) return false;
    ::ResetEvent(ov.hEvent);
    bool pending = false;
    const bool done = OnDevice([&](HANDLE device) {
      if (::ReadFile(device, buffer, want, nullptr, &ov)) return true;
      pending = ::GetLastError() == ERROR_IO_PENDING;
      return false;
    });
    if (done) return Outcome(ov, got);
    if (!pending) return false;
    return Finish(ov, got) || stop_.stop_requested();
  }

  void Watch() {
    OVERLAPPED waitOv{};
    OVERLAPPED readOv{};
    waitOv.hEvent = NewEvent(true);
    readOv.hEvent = NewEvent(true);
    bool deviceGone = waitOv.hEvent == nullptr || readOv.hEvent == nullptr;
    bool notifyAgain = false;
    OnDevice([](HANDLE device) { return ::SetCommMask(device, EV_RXCHAR) != 0; });
    char buffer[kBatch + 1];
    while (!stop_.stop_requested()) {
      if (!notifyAgain && ring_.Waiting() > 0 && ArmedSinceNotified()) {
        notifyAgain = Notify(handle_);
        continue;
      }
      if (deviceGone) {
        // Nothing more can come: sleep until the port closes, or until an
        // arming asks for what still waits in the ring.
        HANDLE events[2] = {stopEvent_, roomEvent_};
        ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
        continue;
      }
      // With the ring full, leave the bytes in the driver (and its flow
      // control) until READCOMM makes room and wakes us, or until an arming
      // asks for the bytes that wait in the ring.
      if (ring_.Room() == 0) {
        const FullRing next = WaitForRoomOrArming();
        if (next == FullRing::kNotify) {
          notifyAgain = Notify(handle_);
          continue;
        }
        if (next == FullRing::kWait) {
          HANDLE events[2] = {stopEvent_, roomEvent_};
          ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
          continue;
        }
      }
      DWORD errors = 0;  // line errors are cleared and not reported
      COMSTAT status{};
      if (!OnDevice(
              [&](HANDLE device) { return ::ClearCommError(device, &errors, &status) != 0; })) {
        // The port's state cannot be read: the device has gone (an adapter
        // unplugged) or has just been closed.
        deviceGone = true;
        continue;
      }
      if (status.cbInQue == 0) {
        if (notifyAgain) {
          notifyAgain = Notify(handle_);  // nothing new: hand over what still waits
        } else if (!WaitForArrival(waitOv)) {
          // Not a reason to stop watching: a wait also ends when the event
          // mask changes under it, and Wine ends a pending wait with
          // ERROR_OPERATION_ABORTED whenever SetCommState is called. A device
          // that is really gone shows in ClearCommError above; until then
          // pause briefly, so that a port refusing every wait is polled
          // without spinning.
          ::WaitForSingleObject(stopEvent_, kRetryPauseMs);
        }
        continue;
      }
      const DWORD want =
          std::min<DWORD>({status.cbInQue, kBatch, static_cast<DWORD>(ring_.Room())});
      DWORD got = 0;
      const bool read = ReadBatch(readOv, buffer, want, got);
      if (got > 0 && !stop_.stop_requested()) {
        ring_.Put(buffer, got);
        notifyAgain = Notify(handle_);
      }
      if (!read) {
        // As with a failed wait: a read can fail for a passing reason (a
        // request the driver aborted), and the port's state, read again
        // above, tells whether the device itself has gone.
        ::WaitForSingleObject(stopEvent_, kRetryPauseMs);
      }
    }
    if (waitOv.hEvent != nullptr) ::CloseHandle(waitOv.hEvent);
    if (readOv.hEvent != nullptr) ::CloseHandle(readOv.hEvent);
  }

  HANDLE device_;              // INVALID_HANDLE_VALUE once closed; guarded by deviceLock_
  const HANDLE resultHandle_;  // the device's handle as opened, for Outcome()
  HANDLE stopEvent_;           // manual reset: once set, every later wait ends at once
  HANDLE roomEvent_;           // auto reset
  CRITICAL_SECTION deviceLock_;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  Handle handle_ = -1;
};

}  // namespace

std::shared_ptr<CommPort> OpenDevice(const std::string& name, QueueSizes queues) {
  if (name.find('\0') != std::string::npos) return nullptr;
  HANDLE device =
      ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) return nullptr;
  // Their results are not checked: a port that refuses them still opens,
  // and unusable settings show up in SETCOMMSTATE.
  ::SetupComm(device, queues.in, queues.out);
  ::SetCommMask(device, EV_RXCHAR);
  ::EscapeCommFunction(device, SETDTR);
  HANDLE stopEvent = NewEvent(true);
  HANDLE roomEvent = NewEvent(false);
  if (stopEvent == nullptr || roomEvent == nullptr) {
    if (stopEvent != nullptr) ::CloseHandle(stopEvent);
    if (roomEvent != nullptr) ::CloseHandle(roomEvent);
    ::CloseHandle(device);
    return nullptr;
  }
  return std::make_shared<Win32Port>(device, stopEvent, roomEvent, queues);
}

int faults::FailNextReads(int count, unsigned long error) {
  failingReadError.store(error, std::memory_order_relaxed);
  return failingReads.exchange(count, std::memory_order_relaxed);
}

bool BUILDCOMMDCB(const std::string& mode, std::string& dcb) {
  DCB record{};
  record.DCBlength = sizeof(DCB);
  // The system reads a C string; a zero byte inside would cut it short.
  if (mode.find('\0') != std::string::npos || !::BuildCommDCBA(mode.c_str(), &record)) {
    dcb.clear();
    return false;
  }
  dcb.assign(reinterpret_cast<const char*>(&record), kDcbSize);
  return true;
}

}  // namespace talvi::serial
