// SPDX-License-Identifier: MIT
// The "send to window and wait" function handed to the serial layer: a
// watcher thread hands WM_COMMNOTIFY to the armed window as a sent message
// (the window thread runs it inside its next PeekMessage, GetMessage or
// MsgWait, exactly where it would run a SendMessage) and waits until it has
// run there. Unlike a bare SendMessage the wait ends as soon as the port asks
// the watcher to stop, so closing a port never waits on a window thread
// that is itself waiting for the watcher; a call that was left waiting then
// runs nothing when the window thread reaches it.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "ui/win32/win32_internal.h"

namespace talvi::ui {
namespace {

// How often a waiting watcher looks at its stop request. No stop_callback:
// see docs/windows-testing.md (the toolchain's atomic waits can miss a
// wake-up).
constexpr DWORD kStopPollMs = 5;

struct PendingCall {
  explicit PendingCall(std::stop_token token)
      : stop(std::move(token)), done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~PendingCall() {
    if (done != nullptr) ::CloseHandle(done);
  }
  PendingCall(const PendingCall&) = delete;
  PendingCall& operator=(const PendingCall&) = delete;

  std::stop_token stop;
  HANDLE done;
};

// Calls on their way, by target window and port (one per port at a time:
// its watcher waits for each), and windows that are going.
struct Calls {
  std::mutex mutex;
  std::map<std::pair<HWND, WPARAM>, std::shared_ptr<PendingCall>> pending;
  std::set<HWND> gone;
};

Calls& TheCalls() {
  static Calls calls;
  return calls;
}

void Run(TDialog& dialog, WPARAM wParam, LPARAM lParam) {
  if (dialog.native()->ended || dialog.hWnd == 0) return;
  dialog.CommNotify(static_cast<std::intptr_t>(wParam), static_cast<std::intptr_t>(lParam));
}

}  // namespace

void SendToWindow(WindowHandle window, unsigned msg, std::intptr_t wParam, std::intptr_t lParam,
                  std::stop_token stop, const std::function<void()>& meanwhile) {
  if (window == 0 || stop.stop_requested()) return;
  const HWND hwnd = reinterpret_cast<HWND>(window);
  const DWORD owner = ::GetWindowThreadProcessId(hwnd, nullptr);
  if (owner == 0) return;  // no such window
  const auto w = static_cast<WPARAM>(wParam);
  const auto l = static_cast<LPARAM>(lParam);
  if (owner == ::GetCurrentThreadId()) {
    ::SendMessageW(hwnd, msg, w, l);
    if (meanwhile) meanwhile();
    return;
  }
  auto call = std::make_shared<PendingCall>(stop);
  if (call->done == nullptr) return;
  Calls& calls = TheCalls();
  {
    std::lock_guard lock(calls.mutex);
    if (calls.gone.count(hwnd) != 0) return;
    calls.pending[{hwnd, w}] = call;
  }
  if (!::SendNotifyMessageW(hwnd, msg, w, l)) {
    std::lock_guard lock(calls.mutex);
    calls.pending.erase({hwnd, w});
    return;
  }
  if (meanwhile) meanwhile();
  // The record stays behind when the stop ends the wait: the window thread
  // then finds it stopped and runs nothing.
  while (::WaitForSingleObject(call->done, kStopPollMs) == WAIT_TIMEOUT) {
    if (stop.stop_requested()) return;
  }
}

namespace win32 {

void DeliverNotification(TDialog& dialog, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<PendingCall> call;
  {
    Calls& calls = TheCalls();
    std::lock_guard lock(calls.mutex);
    auto it = calls.pending.find({dialog.native()->hwnd, wParam});
    if (it != calls.pending.end()) {
      call = std::move(it->second);
      calls.pending.erase(it);
    }
  }
  // Sent without a watcher waiting (by the window thread itself, or by
  // another program's SendMessage): runs as it comes.
  if (!call) {
    Run(dialog, wParam, lParam);
    return;
  }
  if (!call->stop.stop_requested()) Run(dialog, wParam, lParam);
  ::SetEvent(call->done);
}

void ForgetWindow(HWND hwnd) {
  Calls& calls = TheCalls();
  std::lock_guard lock(calls.mutex);
  calls.gone.insert(hwnd);
  for (auto it = calls.pending.begin(); it != calls.pending.end();) {
    if (it->first.first == hwnd) {
      ::SetEvent(it->second->done);
      it = calls.pending.erase(it);
    } else {
      ++it;
    }
  }
}

void WindowBorn(HWND hwnd) {
  Calls& calls = TheCalls();
  std::lock_guard lock(calls.mutex);
  calls.gone.erase(hwnd);  // the system has reused a handle value
}

}  // namespace win32
}  // namespace talvi::ui
