// SPDX-License-Identifier: MIT
// Live dialogs by handle, the default owner of new controls, the
// window-handle queries and the lookup of a dialog's controls.
#include <algorithm>
#include <stdexcept>

#include "ui/win32/win32_internal.h"

namespace talvi::ui {
namespace win32 {

std::map<WindowHandle, TDialog*>& Registry() {
  static std::map<WindowHandle, TDialog*> registry;
  return registry;
}

std::vector<TDialog*>& Created() {
  static std::vector<TDialog*> created;
  return created;
}

void Register(TDialog& dialog) {
  const HWND hwnd = dialog.native()->hwnd;
  WindowBorn(hwnd);
  dialog.hWnd = reinterpret_cast<WindowHandle>(hwnd);
  Registry()[dialog.hWnd] = &dialog;
}

void Unregister(TDialog& dialog) {
  if (dialog.hWnd != 0) Registry().erase(dialog.hWnd);
  dialog.hWnd = 0;
  if (dialog.native()->hwnd != nullptr) ForgetWindow(dialog.native()->hwnd);
}

TControl* ControlFromWindow(const TDialog& dialog, HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  for (const auto& control : dialog.Controls()) {
    if (control->native()->hwnd == hwnd) return control.get();
  }
  return nullptr;
}

TControl* ControlFromId(const TDialog& dialog, int id) {
  for (const auto& control : dialog.Controls()) {
    if (ChildId(dialog, *control) == id) return control.get();
  }
  return nullptr;
}

int ChildId(const TDialog& dialog, const TControl& control) {
  if (control.nId != 0) return control.nId;
  const auto& controls = dialog.Controls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].get() == &control) return 1000 + static_cast<int>(i);
  }
  return 0xFFFF;
}

HWND Container(const TDialog& dialog) {
  return dialog.native()->hwnd;
}

}  // namespace win32

namespace qt {

TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control) {
  if (owner == nullptr) owner = LastDialog();
  if (owner == nullptr) throw std::logic_error("a control needs a dialog to own it");
  return owner->AddControl(std::move(control));
}

void NotDefaultOwner(TDialog& dialog) {
  auto& created = win32::Created();
  created.erase(std::remove(created.begin(), created.end(), &dialog), created.end());
}

}  // namespace qt

TDialog* LastDialog() {
  return win32::Created().empty() ? nullptr : win32::Created().back();
}

TDialog* DialogFromHandle(WindowHandle handle) {
  auto it = win32::Registry().find(handle);
  return it == win32::Registry().end() ? nullptr : it->second;
}

WindowHandle GetActiveWindow() {
  const HWND active = ::GetActiveWindow();
  if (active != nullptr) {
    const auto handle = reinterpret_cast<WindowHandle>(::GetAncestor(active, GA_ROOT));
    if (DialogFromHandle(handle) != nullptr) return handle;
  }
  // Nothing of ours is active (no window manager, or another program has
  // the focus): the newest visible window of the program.
  WindowHandle best = 0;
  TDialog* newest = nullptr;
  for (TDialog* dialog : win32::Created()) {
    const HWND hwnd = dialog->native()->hwnd;
    if (dialog->hWnd != 0 && !dialog->native()->page && ::IsWindowVisible(hwnd)) newest = dialog;
  }
  if (newest != nullptr) best = newest->hWnd;
  return best;
}

bool EnableWindow(WindowHandle handle, bool enabled) {
  TDialog* dialog = DialogFromHandle(handle);
  if (dialog == nullptr) return false;
  dialog->Enable(enabled);
  return true;
}

bool IsWindowEnabled(WindowHandle handle) {
  TDialog* dialog = DialogFromHandle(handle);
  return dialog != nullptr && dialog->IsEnabled();
}

}  // namespace talvi::ui
