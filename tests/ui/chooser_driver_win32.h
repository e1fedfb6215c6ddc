// SPDX-License-Identifier: MIT
// Drives the system's file chooser as a user would, from a thread of its
// own: GetSaveFileNameW/GetOpenFileNameW run their own modal loop, so the
// test thread is inside the call until the chooser closes. The driver finds
// the chooser by its title among the test thread's windows, notes what it
// shows (title, folder, filter entries, owner), types each answer into the
// name field and presses Open/Save; a box the chooser opens on top (a
// refusal, an overwrite question) is noted and answered with its default
// (Yes, else OK) before the next answer. No answers: Cancel.
//
// Every wait is bounded. A chooser that never opens, or does not close
// after the last answer, is a test failure and is cancelled; one that stays
// even then ends the program with a message, so a hang never outlasts the
// bound.
#pragma once

// The window layer's headers before <windows.h>, whose macros would replace
// its constants.
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

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace talvi::testing {

// What the driver saw of the chooser.
struct ChooserSeen {
  bool opened = false;
  std::wstring title;
  std::wstring folder;                // the folder it opened in
  std::vector<std::wstring> filters;  // the entries of the file-type list
  int filterSelected = -1;            // 0 based
  HWND owner = nullptr;
  bool ownerDisabled = false;
  std::vector<std::wstring> boxes;  // the texts of the boxes it opened on top
  std::vector<std::wstring> failures;
};

namespace chooser {

constexpr int kFileTypes = 0x470;           // cmb1: the file-type list
constexpr int kNameEdit = 0x480;            // edt1: the name field (Wine, older Windows)
constexpr int kNameCombo = 0x47C;           // cmb13: the name field as a combo box (Windows)
constexpr UINT kGetFolder = WM_USER + 102;  // CDM_GETFOLDERPATH
constexpr auto kOpenLimit = std::chrono::seconds(60);
constexpr auto kStepLimit = std::chrono::seconds(30);
constexpr auto kLastResort = std::chrono::seconds(20);

// A message to a window of the test thread, given up when that thread does
// not answer within the bound.
inline LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (::SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_NORMAL, 10000, &result) == 0) {
    return -1;
  }
  return static_cast<LRESULT>(result);
}

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t cls[64] = {};
  ::GetClassNameW(hwnd, cls, 64);
  return cls;
}

inline std::wstring Text(HWND hwnd) {
  std::wstring text(4096, L'\0');
  const LRESULT n = Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

struct Search {
  const std::wstring* title;  // nullptr: any title
  HWND owner;                 // nullptr: any owner
  HWND found;
};

inline BOOL CALLBACK MatchBox(HWND hwnd, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (!::IsWindowVisible(hwnd) || ClassOf(hwnd) != L"#32770") return TRUE;
  if (s->owner != nullptr && ::GetWindow(hwnd, GW_OWNER) != s->owner) return TRUE;
  wchar_t text[256] = {};
  ::GetWindowTextW(hwnd, text, 256);
  if (s->title != nullptr && *s->title != text) return TRUE;
  s->found = hwnd;
  return FALSE;
}

// A visible dialog-class window of `thread` titled `title` and owned by
// `owner` (nullptr for either: any).
inline HWND FindBox(DWORD thread, const std::wstring* title, HWND owner) {
  Search search{title, owner, nullptr};
  ::EnumThreadWindows(thread, MatchBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The texts of a box's static controls, joined.
inline std::wstring StaticTexts(HWND box) {
  std::wstring all;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) all += Text(child);
  }
  return all;
}

inline HWND NameField(HWND chooser) {
  if (const HWND edit = ::GetDlgItem(chooser, kNameEdit)) return edit;
  if (const HWND combo = ::GetDlgItem(chooser, kNameCombo)) {
    if (const HWND edit = ::FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
    return combo;
  }
  return nullptr;
}

inline void Press(HWND window, int id) {
  ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
}

}  // namespace chooser

class ChooserDriver {
 public:
  // Drives the chooser titled `title` that the calling thread is about to
  // open; `answers` are the names typed in turn (none: Cancel).
  ChooserDriver(std::wstring title, std::vector<std::wstring> answers)
      : title_(std::move(title)), answers_(std::move(answers)), thread_(::GetCurrentThreadId()) {}

  // Runs `call` (which opens the chooser) with the driver beside it, and
  // gives what `call` gave.
  template <typename Call>
  auto Run(Call call) -> decltype(call()) {
    returned_ = false;
    seen_ = ChooserSeen{};
    std::thread driver([this] { Drive(); });
    struct Join {
      ChooserDriver* self;
      std::thread* driver;
      ~Join() {
        self->returned_ = true;
        driver->join();
      }
    } join{this, &driver};
    return call();
  }

  const ChooserSeen& Seen() const { return seen_; }

 private:
  using Clock = std::chrono::steady_clock;

  bool Returned() const { return returned_.load(); }

  // Waits until `done` holds or the call returned, for at most `limit`.
  template <typename Done>
  bool WaitFor(Done done, Clock::duration limit) {
    const auto giveUp = Clock::now() + limit;
    while (!done()) {
      if (Returned() || Clock::now() > giveUp) return false;
      ::Sleep(20);
    }
    return true;
  }

  void Note(const HWND chooser) {
    seen_.opened = true;
    seen_.title = chooser::Text(chooser);
    std::wstring folder(32768, L'\0');
    const LRESULT n = chooser::Send(chooser, chooser::kGetFolder, folder.size(),
                                    reinterpret_cast<LPARAM>(folder.data()));
    folder.resize(n > 1 ? static_cast<std::size_t>(n - 1) : 0);
    seen_.folder = folder.c_str();
    if (const HWND types = ::GetDlgItem(chooser, chooser::kFileTypes)) {
      const LRESULT count = chooser::Send(types, CB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count; ++i) {
        std::wstring entry(512, L'\0');
        const LRESULT len = chooser::Send(types, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                          reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(len > 0 ? static_cast<std::size_t>(len) : 0);
        seen_.filters.push_back(entry);
      }
      seen_.filterSelected = static_cast<int>(chooser::Send(types, CB_GETCURSEL, 0, 0));
    }
    seen_.owner = ::GetWindow(chooser, GW_OWNER);
    seen_.ownerDisabled = seen_.owner != nullptr && !::IsWindowEnabled(seen_.owner);
  }

  // Finds the chooser, notes what it shows and gives the answers. False
  // when no chooser showed up.
  bool Script() {
    HWND chooser = nullptr;
    if (!WaitFor([&] { return (chooser = chooser::FindBox(thread_, &title_, nullptr)) != nullptr; },
                 chooser::kOpenLimit)) {
      seen_.failures.push_back(L"no chooser titled \"" + title_ + L"\" opened");
      return false;
    }
    // Its name field is there once it has initialised.
    WaitFor([&] { return chooser::NameField(chooser) != nullptr; }, chooser::kStepLimit);
    Note(chooser);
    for (const std::wstring& answer : answers_) {
      const HWND field = chooser::NameField(chooser);
      chooser::Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer.c_str()));
      chooser::Press(chooser, IDOK);
      HWND box = nullptr;
      if (!WaitFor([&] { return (box = chooser::FindBox(thread_, nullptr, chooser)) != nullptr; },
                   chooser::kStepLimit)) {
        break;  // it closed
      }
      // Its text once it has one.
      WaitFor([&] { return !chooser::StaticTexts(box).empty(); }, chooser::kStepLimit);
      seen_.boxes.push_back(chooser::StaticTexts(box));
      chooser::Press(box, ::GetDlgItem(box, IDYES) != nullptr ? IDYES : IDOK);
      WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, chooser::kStepLimit);
    }
    if (answers_.empty()) chooser::Press(chooser, IDCANCEL);
    return true;
  }

  void Drive() {
    if (Script()) WaitFor([] { return false; }, chooser::kStepLimit);  // until the call returns
    if (Returned()) return;
    seen_.failures.push_back(L"the call did not return");
    // Cancels whatever is open, then, as the last resort, ends the program.
    const auto giveUp = Clock::now() + chooser::kLastResort;
    while (!Returned()) {
      if (Clock::now() > giveUp) {
        std::fputs("the file chooser does not close: giving up\n", stderr);
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 3);
      }
      if (const HWND open = chooser::FindBox(thread_, nullptr, nullptr)) {
        chooser::Press(open, IDCANCEL);
      }
      ::Sleep(200);
    }
  }

  std::wstring title_;
  std::vector<std::wstring> answers_;
  DWORD thread_;
  std::atomic<bool> returned_{false};
  ChooserSeen seen_;  // written by the driver thread, read after it joined
};

}  // namespace talvi::testing
