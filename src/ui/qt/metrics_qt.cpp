// SPDX-License-Identifier: MIT
// Font measures and focus queries.
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QWidget>

#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/metrics.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {
namespace {

QFont FontOf(const std::string& family, int pixelSize) {
  qt::EnsureApp();
  QFont font = QApplication::font();
  if (!family.empty()) font.setFamily(qt::ToQ(family));
  if (pixelSize > 0) font.setPixelSize(pixelSize);
  return font;
}

}  // namespace

int TextWidth(const std::string& text, const std::string& family, int pixelSize) {
  return QFontMetrics(FontOf(family, pixelSize)).horizontalAdvance(qt::ToQ(text));
}

int CharHeight(const std::string& family, int pixelSize) {
  return QFontMetrics(FontOf(family, pixelSize)).height();
}

TControl* FocusedControl(const TDialog& dialog) {
  // The window's own focus child, which it keeps while another window
  // (a message box) is active.
  QWidget* container = qt::Container(dialog);
  QWidget* focus = container != nullptr ? container->window()->focusWidget() : nullptr;
  if (focus == nullptr) focus = QApplication::focusWidget();
  if (focus == nullptr) return nullptr;
  for (const auto& control : dialog.Controls()) {
    QWidget* w = control->native() ? control->native()->widget.data() : nullptr;
    if (w != nullptr && (w == focus || w->isAncestorOf(focus))) return control.get();
  }
  return nullptr;
}

}  // namespace talvi::ui
