// SPDX-License-Identifier: MIT
// Start-up of the window layer, text conversion, the message-pump step and
// the bounded wait, the last typed key and the quit request.
#include <atomic>

#include "os/text1252.h"
#include "ui/win32/win32_internal.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

namespace talvi::ui {
namespace {

std::atomic<int> lastKey{0};
bool started = false;
HFONT dialogFont = nullptr;

void EnsureStarted() {
  if (started) return;
  started = true;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);
  serial::SetWindowSender(SendToWindow);
}

// Esc would close a dialog (IsDialogMessage turns it into the cancel
// command, a multi-line edit control asks its dialog to close): it does not
// reach a dialog of the layer that does not want that. The key still counts
// as typed.
bool KeepEscFrom(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP && msg.message != WM_CHAR) return false;
  if (msg.wParam != VK_ESCAPE) return false;
  const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
  TDialog* dialog = DialogFromHandle(reinterpret_cast<WindowHandle>(root));
  if (dialog == nullptr || dialog->lEscCancels) return false;
  if (msg.message == WM_KEYDOWN) lastKey = VK_ESCAPE;
  return true;
}

}  // namespace

namespace win32 {

std::wstring Wide(const std::string& ansi) {
  const std::string utf8 = os::Utf8From1252(ansi);
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Ansi(const wchar_t* wide, int length) {
  if (length <= 0) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), n, nullptr, nullptr);
  std::string out;
  os::Utf8To1252(utf8, out);
  return out;
}

std::string Ansi(const std::wstring& wide) {
  return Ansi(wide.data(), static_cast<int>(wide.size()));
}

HINSTANCE Instance() {
  return ::GetModuleHandleW(nullptr);
}

HFONT DialogFont() {
  if (dialogFont == nullptr) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      dialogFont = ::CreateFontIndirectW(&metrics.lfMessageFont);
    }
    if (dialogFont == nullptr) dialogFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  }
  return dialogFont;
}

void Dispatch(MSG& msg) {
  if (KeepEscFrom(msg)) return;
  if (msg.message == WM_CHAR) {
    const std::string typed = Ansi(std::wstring(1, static_cast<wchar_t>(msg.wParam)));
    if (!typed.empty()) lastKey = static_cast<unsigned char>(typed[0]);
  }
  const HWND root = msg.hwnd != nullptr ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && DialogFromHandle(reinterpret_cast<WindowHandle>(root)) != nullptr &&
      ::IsDialogMessageW(root, &msg)) {
    return;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

}  // namespace win32

void Startup(int& /*argc*/, char** /*argv*/) {
  EnsureStarted();
}

void Startup() {
  EnsureStarted();
}

void Shutdown() {
  // Windows and the sender stay usable: nothing here holds the system's
  // resources beyond the process.
}

bool SYSREFRESH() {
  EnsureStarted();
  MSG msg;
  // Messages sent from other threads (serial notifications) are delivered
  // inside PeekMessageW.
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    win32::Dispatch(msg);
  }
  return true;
}

bool SYSWAIT(int ms) {
  EnsureStarted();
  MSG msg;
  if (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return SYSREFRESH();
  if (ms > 0 || ms == kWaitForever) {
    // Wakes for anything new in the queue, a message sent from a watcher
    // thread included.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, ms > 0 ? static_cast<DWORD>(ms) : INFINITE,
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  return SYSREFRESH();
}

// The asynchronous key state is asked for; nothing wakes a wait for a key
// pressed in another program's window.
bool KeysWakeWaits() {
  return false;
}

int LASTKEY() {
  return lastKey;
}

void SETLASTKEY(int code) {
  lastKey = code;
}

void PostQuitMessage(int code) {
  ::PostQuitMessage(code);
}

}  // namespace talvi::ui
