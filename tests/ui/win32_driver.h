// Helpers that drive windows from a Windows test: a thread timer runs an
// action from whichever message loop is running (the dialog's own, a
// message box's, the file chooser's), so a test arms the action, then calls
// the routine that shows the window.
#pragma once

// clang-format off
#include "ui/ui.h"
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace talvi::testing {

namespace detail {
inline std::function<bool()>& Pending() {
  static std::function<bool()> pending;
  return pending;
}
inline UINT_PTR& Timer() {
  static UINT_PTR timer = 0;
  return timer;
}
inline void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  auto& pending = Pending();
  if (pending && pending()) {
    ::KillTimer(nullptr, Timer());
    Timer() = 0;
    pending = nullptr;
  }
}
}  // namespace detail

// Top-level window of this thread with the dialog class and `title`.
inline HWND FindDialog(const std::wstring& title) {
  struct Search {
    const std::wstring* title;
    HWND found;
  } search{&title, nullptr};
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND hwnd, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        wchar_t text[256] = {};
        ::GetWindowTextW(hwnd, text, 256);
        if (::IsWindowVisible(hwnd) && *s->title == text) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Runs `action` with the window titled `title` once it is shown (polled
// every 10 ms from the running message loop). Gives up with a test failure
// after `limitMs`.
inline void WhenWindow(const std::wstring& title, std::function<void(HWND)> action,
                       int limitMs = 60000) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  detail::Pending() = [title, action, giveUp] {
    if (const HWND hwnd = FindDialog(title)) {
      action(hwnd);
      return true;
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      ADD_FAILURE() << "no window appeared";
      return true;
    }
    return false;
  };
  detail::Timer() = ::SetTimer(nullptr, 0, 10, detail::Tick);
}

inline std::wstring TextOf(HWND hwnd) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(hwnd, text, 1024);
  return text;
}

}  // namespace talvi::testing
