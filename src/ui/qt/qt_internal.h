// SPDX-License-Identifier: MIT
// Shared pieces of the Qt implementation of the window layer.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>

#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/text1252.h"

namespace talvi::ui {

// The toolkit side of a control: its widget (owned by the owner's window).
struct TControl::Native {
  QPointer<QWidget> widget;
  // A log control's scroll to its end, asked for and not done yet.
  bool scrollQueued = false;
};

namespace qt {

// Creates the application object when there is none.
void EnsureApp();

inline QString ToQ(const std::string& ansi) {
  return QString::fromUtf8(AnsiToUtf8(ansi));
}
inline std::string FromQ(const QString& text) {
  return Utf8ToAnsi(text.toUtf8().toStdString());
}

// The widget that a dialog's controls are placed in (the window, or the
// page of a folder); nullptr before the dialog's window exists.
QWidget* Container(const TDialog& dialog);
// The dialog's top-level window, or nullptr.
QWidget* Window(const TDialog& dialog);
// Builds a dialog as a folder page inside `parent` (no window of its own).
void BuildPage(TDialog& dialog, QWidget* parent);
// Adopts a new control into `owner` (LastDialog() when null) and builds its
// window at once when the owner's window already exists.
TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control);
// The window that new modal windows should belong to: the active window of
// the program, or nullptr.
QWidget* ActiveWidget();
// Keeps `dialog` (a folder page) from becoming LastDialog().
void NotDefaultOwner(TDialog& dialog);
// A fresh non-zero handle for a control's window.
std::intptr_t NextControlHandle();
// Places a control's widget at its pixel rectangle.
void Place(TControl& control, QWidget* widget);

}  // namespace qt
}  // namespace talvi::ui
