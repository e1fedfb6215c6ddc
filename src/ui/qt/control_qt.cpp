// SPDX-License-Identifier: MIT
// The toolkit side shared by every control.
#include <QPalette>
#include <QWidget>

#include "ui/control.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {

TControl::TControl() : native_(std::make_unique<Native>()) {}

TControl::~TControl() {
  // The widget belongs to the owner's window, which may already be gone.
  delete native_->widget.data();
}

void TControl::SetFocus() {
  if (QWidget* w = native_->widget.data()) w->setFocus();
}

int TControl::GetBackColor() const {
  QWidget* w = native_->widget.data();
  if (w == nullptr || !w->autoFillBackground()) return -1;
  const QColor c = w->palette().color(w->backgroundRole());
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

void TControl::SetBackColor(int rgb) {
  QWidget* w = native_->widget.data();
  if (w == nullptr) return;
  if (rgb < 0) {
    w->setAutoFillBackground(false);
    w->setPalette(QPalette());
  } else {
    QPalette palette = w->palette();
    const QColor c(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    palette.setColor(QPalette::Window, c);
    palette.setColor(QPalette::Base, c);
    palette.setColor(QPalette::Button, c);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
  }
  w->update();
}

void TControl::Show(bool visible) {
  if (QWidget* w = native_->widget.data()) w->setVisible(visible);
}

}  // namespace talvi::ui
