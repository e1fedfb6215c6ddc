// The Windows backend: the device opened for overlapped use, a watcher
// thread waiting on WaitCommEvent, overlapped reads and writes that are
// always waited for (with a bound for writes), and a close that stops the
// watcher by waking it instead of killing it.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "serial/comm_port.h"

namespace talvi::serial {
namespace {

static_assert(sizeof(DCB) == kDcbSize, "the line-settings record is 28 bytes");

constexpr DWORD kBatch = 1023;
constexpr DWORD kMaxWrite = 32767;
constexpr DWORD kWriteBoundMs = 2000;
// How long CLOSECOMM waits for the watcher to leave; it normally takes a few
// microseconds, since every wait of the watcher also watches the stop event.
constexpr DWORD kStopBoundMs = 5000;
// The pause after a wait for arrivals that ended without one.
constexpr DWORD kRetryPauseMs = 10;

HANDLE NewEvent(bool manualReset) {
  return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

class Win32Port final : public CommPort, public std::enable_shared_from_this<Win32Port> {
 public:
  Win32Port(HANDLE device, HANDLE stopEvent, HANDLE roomEvent, QueueSizes queues)
      : CommPort(queues), device_(device), stopEvent_(stopEvent), roomEvent_(roomEvent) {}

  // Runs when the last owner lets go: CLOSECOMM, or the watcher itself when
  // it left later than CLOSECOMM waited for it.
  ~Win32Port() override {
    ::CloseHandle(device_);
    ::CloseHandle(stopEvent_);
    ::CloseHandle(roomEvent_);
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
    return true;
  }

  void Stop() override {
    stop_.request_stop();  // also releases a sender that is waiting for us
    ::SetEvent(stopEvent_);
    ::SetCommMask(device_, 0);  // ends a WaitCommEvent in progress
    if (thread_ != nullptr) {
      if (::GetCurrentThreadId() != threadId_) ::WaitForSingleObject(thread_, kStopBoundMs);
      ::CloseHandle(thread_);
      thread_ = nullptr;
    }
  }

  bool SetState(const Dcb& dcb) override {
    const std::string bytes = EncodeDcb(dcb);
    DCB record{};
    std::memcpy(&record, bytes.data(), kDcbSize);
    return ::SetCommState(device_, &record) != 0;
  }

  int Write(std::string_view bytes) override {
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kMaxWrite));
    OVERLAPPED ov{};
    ov.hEvent = NewEvent(true);
    if (ov.hEvent == nullptr) return 0;
    DWORD written = 0;
    if (::WriteFile(device_, bytes.data(), size, nullptr, &ov)) {
      if (!::GetOverlappedResult(device_, &ov, &written, FALSE)) written = 0;
    } else if (::GetLastError() == ERROR_IO_PENDING) {
      if (::WaitForSingleObject(ov.hEvent, kWriteBoundMs) != WAIT_OBJECT_0) {
        // Not done in time: cancel it and wait for the cancellation, so the
        // block on our stack is no longer the system's when we return.
        ::CancelIo(device_);
      }
      if (!::GetOverlappedResult(device_, &ov, &written, TRUE)) written = 0;
    }
    ::CloseHandle(ov.hEvent);
    return static_cast<int>(written);
  }

 protected:
  void WakeForRoom() override { ::SetEvent(roomEvent_); }

 private:
  static DWORD WINAPI ThreadMain(LPVOID param) {
    std::unique_ptr<std::shared_ptr<Win32Port>> self(
        static_cast<std::shared_ptr<Win32Port>*>(param));
    (*self)->Watch();
    return 0;
  }

  // Waits, at most until the port closes, for an overlapped request to end;
  // a request still running at close is cancelled and waited for. Gives the
  // request's success and its byte count.
  bool Finish(OVERLAPPED& ov, DWORD& count) {
    HANDLE events[2] = {ov.hEvent, stopEvent_};
    if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) ::CancelIo(device_);
    return ::GetOverlappedResult(device_, &ov, &count, TRUE) != 0;
  }

  // Waits for a received character. False when the wait ended without one
  // (the mask changed, the driver aborted it, or the port refuses to wait).
  bool WaitForArrival(OVERLAPPED& ov) {
    DWORD mask = 0;
    ::ResetEvent(ov.hEvent);
    if (::WaitCommEvent(device_, &mask, &ov)) return true;
    if (::GetLastError() != ERROR_IO_PENDING) return false;
    DWORD ignored = 0;
    return Finish(ov, ignored);
  }

  // Reads `want` bytes that the driver holds, waiting for the read to
  // complete: a pending read is not "nothing read".
  bool ReadBatch(OVERLAPPED& ov, char* buffer, DWORD want, DWORD& got) {
    got = 0;
    ::ResetEvent(ov.hEvent);
    if (::ReadFile(device_, buffer, want, nullptr, &ov)) {
      return ::GetOverlappedResult(device_, &ov, &got, FALSE) != 0;
    }
    if (::GetLastError() != ERROR_IO_PENDING) return false;
    return Finish(ov, got) || stop_.stop_requested();
  }

  void Watch() {
    OVERLAPPED waitOv{};
    OVERLAPPED readOv{};
    waitOv.hEvent = NewEvent(true);
    readOv.hEvent = NewEvent(true);
    bool deviceGone = waitOv.hEvent == nullptr || readOv.hEvent == nullptr;
    bool notifyAgain = false;
    ::SetCommMask(device_, EV_RXCHAR);
    char buffer[kBatch + 1];
    while (!stop_.stop_requested()) {
      if (deviceGone) {
        // Nothing more can come: sleep until the port closes.
        ::WaitForSingleObject(stopEvent_, INFINITE);
        continue;
      }
      // With the ring full, leave the bytes in the driver (and its flow
      // control) until READCOMM makes room and wakes us.
      if (ring_.Room() == 0 && !AnnounceWaitForRoom()) {
        HANDLE events[2] = {stopEvent_, roomEvent_};
        ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
        continue;
      }
      DWORD errors = 0;  // line errors are cleared and not reported
      COMSTAT status{};
      if (!::ClearCommError(device_, &errors, &status)) {
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
      deviceGone = !ReadBatch(readOv, buffer, want, got);
      if (got > 0 && !stop_.stop_requested()) {
        ring_.Put(buffer, got);
        notifyAgain = Notify(handle_);
      }
    }
    if (waitOv.hEvent != nullptr) ::CloseHandle(waitOv.hEvent);
    if (readOv.hEvent != nullptr) ::CloseHandle(readOv.hEvent);
  }

  HANDLE device_;
  HANDLE stopEvent_;  // manual reset: once set, every later wait ends at once
  HANDLE roomEvent_;  // auto reset
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
