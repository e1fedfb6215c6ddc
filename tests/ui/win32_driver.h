// SPDX-License-Identifier: MIT
// Helpers that drive windows from a Windows test: a thread timer runs an
// action from whichever message loop is running (the dialog's own, a
// message box's, the file chooser's), so a test arms the action, then calls
// the routine that shows the window.
#pragma once

// clang-format off
#include "ui/app.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/filedialog.h"
#include "ui/metrics.h"
#include "ui/msgbox.h"
#include "ui/multiget.h"
#include "ui/registry.h"
#include "ui/text1252.h"
#include "ui/window_handle.h"
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
  auto current = std::move(Pending());
  Pending() = nullptr;
  if (!current) return;
  if (!current()) {
    if (!Pending()) Pending() = std::move(current);  // not found yet: ask again
    return;
  }
  if (!Pending()) {  // done, and nothing further armed
    ::KillTimer(nullptr, Timer());
    Timer() = 0;
  }
}
}  // namespace detail

namespace detail {

struct TitleSearch {
  const std::wstring* title;
  HWND found;
  int count;
};

// Enumeration callbacks are functions of the system's calling convention
// (stdcall on 32-bit Windows), which a lambda does not convert to there.
inline BOOL CALLBACK MatchTitle(HWND hwnd, LPARAM p) {
  auto* s = reinterpret_cast<TitleSearch*>(p);
  wchar_t text[256] = {};
  ::GetWindowTextW(hwnd, text, 256);
  if (::IsWindowVisible(hwnd) && *s->title == text) {
    if (s->found == nullptr) s->found = hwnd;
    ++s->count;
  }
  return TRUE;
}

inline TitleSearch SearchTitle(const std::wstring& title) {
  TitleSearch search{&title, nullptr, 0};
  ::EnumThreadWindows(::GetCurrentThreadId(), MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search;
}

}  // namespace detail

// Top-level window of this thread with the dialog class and `title`.
inline HWND FindDialog(const std::wstring& title) {
  return detail::SearchTitle(title).found;
}

// Runs `action` with the window that `find` gives once it gives one (asked
// every 10 ms from the running message loop). Gives up with a test failure
// after `limitMs`.
inline void WhenFound(std::function<HWND()> find, std::function<void(HWND)> action,
                      int limitMs = 60000) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  detail::Pending() = [find, action, giveUp] {
    if (const HWND hwnd = find()) {
      action(hwnd);
      return true;
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      ADD_FAILURE() << "no window appeared";
      return true;
    }
    return false;
  };
  if (detail::Timer() == 0) detail::Timer() = ::SetTimer(nullptr, 0, 10, detail::Tick);
}

// The same for the window titled `title`.
inline void WhenWindow(const std::wstring& title, std::function<void(HWND)> action,
                       int limitMs = 60000) {
  WhenFound([title] { return FindDialog(title); }, std::move(action), limitMs);
}

// The visible windows of this thread titled `title`.
inline int CountWindows(const std::wstring& title) {
  return detail::SearchTitle(title).count;
}

inline std::wstring TextOf(HWND hwnd) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(hwnd, text, 1024);
  return text;
}

}  // namespace talvi::testing
