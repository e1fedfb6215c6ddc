// SPDX-License-Identifier: MIT
// Live dialogs by handle, the default owner of new controls, and the
// window-handle queries.
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/qt/dialog_native.h"
#include "ui/qt/qt_internal.h"
#include "ui/registry.h"
#include "ui/window_handle.h"

namespace talvi::ui {
namespace {

WindowHandle nextHandle = 0x1000;
std::intptr_t nextControlHandle = 0x100000;

}  // namespace

namespace qt {

std::map<WindowHandle, TDialog*>& Registry() {
  static std::map<WindowHandle, TDialog*> registry;
  return registry;
}

std::vector<TDialog*>& Created() {
  static std::vector<TDialog*> created;
  return created;
}

WindowHandle NewWindowHandle() {
  return ++nextHandle;
}

}  // namespace qt

TDialog* LastDialog() {
  return qt::Created().empty() ? nullptr : qt::Created().back();
}

TDialog* DialogFromHandle(WindowHandle handle) {
  auto it = qt::Registry().find(handle);
  return it == qt::Registry().end() ? nullptr : it->second;
}

WindowHandle GetActiveWindow() {
  qt::EnsureApp();
  QWidget* active = QApplication::activeWindow();
  if (active == nullptr) active = QApplication::activeModalWidget();
  for (const auto& [handle, dialog] : qt::Registry()) {
    if (active != nullptr && qt::Window(*dialog) == active) return handle;
  }
  // Without a window manager nothing may be active: take the newest
  // visible window of the program.
  WindowHandle best = 0;
  for (const auto& [handle, dialog] : qt::Registry()) {
    QWidget* w = qt::Window(*dialog);
    if (w != nullptr && w->isVisible() && handle > best) best = handle;
  }
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

namespace qt {

QWidget* Container(const TDialog& dialog) {
  if (dialog.native()->page) return dialog.native()->page.data();
  return dialog.native()->window.data();
}

QWidget* Window(const TDialog& dialog) {
  return dialog.native()->window.data();
}

void BuildPage(TDialog& dialog, QWidget* parent) {
  auto* page = new QWidget(parent);
  dialog.native()->page = page;
  dialog.hWnd = qt::NewWindowHandle();
  qt::Registry()[dialog.hWnd] = &dialog;
  for (auto& control : dialog.Controls()) control->Create();
}

TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control) {
  if (owner == nullptr) owner = LastDialog();
  if (owner == nullptr) throw std::logic_error("a control needs a dialog to own it");
  return owner->AddControl(std::move(control));
}

QWidget* ActiveWidget() {
  if (TDialog* dialog = DialogFromHandle(GetActiveWindow())) return Window(*dialog);
  return QApplication::activeWindow();
}

void NotDefaultOwner(TDialog& dialog) {
  auto& created = qt::Created();
  created.erase(std::remove(created.begin(), created.end(), &dialog), created.end());
}

std::intptr_t NextControlHandle() {
  return ++nextControlHandle;
}

void Place(TControl& control, QWidget* widget) {
  widget->setGeometry(control.nLeft, control.nTop, control.nRight - control.nLeft + 1,
                      control.nBottom - control.nTop + 1);
  control.hWnd = NextControlHandle();
  widget->show();
}

}  // namespace qt
}  // namespace talvi::ui
