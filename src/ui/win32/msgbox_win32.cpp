// SPDX-License-Identifier: MIT
// The system message box. The program's texts are 1252: where that is the
// system's ANSI code page (Western Windows) they go to MessageBoxA as they
// are; elsewhere they are converted and shown through MessageBoxW, so the
// accented letters come out right on every system.
#include "ui/win32/win32_internal.h"

namespace talvi::ui {

int ShowMessageBox(const std::string& text, const std::string& title, unsigned style) {
  SYSREFRESH();  // starts the layer when nothing else has
  HWND owner = ::GetActiveWindow();
  if (owner == nullptr) owner = reinterpret_cast<HWND>(GetActiveWindow());
  const UINT type = style | MB_SETFOREGROUND;
  if (::GetACP() == 1252) return ::MessageBoxA(owner, text.c_str(), title.c_str(), type);
  return ::MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(title).c_str(), type);
}

}  // namespace talvi::ui
