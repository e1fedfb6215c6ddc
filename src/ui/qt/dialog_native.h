// SPDX-License-Identifier: MIT
// The toolkit side of TDialog and the table of live dialogs, shared by the
// dialog and the handle queries.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <map>
#include <vector>

#include "ui/dialog.h"
#include "ui/window_handle.h"

namespace talvi::ui {

struct TDialog::Native {
  QPointer<QDialog> window;  // the top-level window (owned here)
  QPointer<QWidget> page;    // the folder page when built as one
  QVBoxLayout* clientLayout = nullptr;
  bool ended = false;
  bool startQueued = false;
  bool shownOnce = false;
};

namespace qt {

// Live dialogs by window handle.
std::map<WindowHandle, TDialog*>& Registry();
// Dialogs that may own new controls, oldest first (LastDialog() is the end).
std::vector<TDialog*>& Created();
// A fresh window handle; handles are never reused.
WindowHandle NewWindowHandle();

}  // namespace qt
}  // namespace talvi::ui
