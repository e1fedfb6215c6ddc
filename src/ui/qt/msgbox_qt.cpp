// SPDX-License-Identifier: MIT
// The system-style message box on Qt.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "ui/msgbox.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {
namespace {

// A QMessageBox that, like the Windows one, ignores Esc and the close box
// when it has neither Cancel nor a lone OK to answer them with.
class Box : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;
  bool escapable = true;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && !escapable) return;
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    if (!escapable) {
      event->ignore();
      return;
    }
    QMessageBox::closeEvent(event);
  }
};

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, unsigned style) {
  qt::EnsureApp();
  Box box(qt::ActiveWidget());
  box.setWindowTitle(qt::ToQ(title));
  box.setText(qt::ToQ(text).remove(QLatin1Char('\r')));
  switch (style & 0xF0u) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  // Buttons in the Windows order, each tied to its result code.
  std::vector<std::pair<QPushButton*, int>> buttons;
  auto add = [&](QMessageBox::StandardButton which, int code) {
    buttons.emplace_back(box.addButton(which), code);
  };
  QPushButton* escape = nullptr;
  switch (style & 0x0Fu) {
    case MB_OKCANCEL:
      add(QMessageBox::Ok, IDOK);
      add(QMessageBox::Cancel, IDCANCEL);
      escape = buttons[1].first;
      break;
    case MB_YESNOCANCEL:
      add(QMessageBox::Yes, IDYES);
      add(QMessageBox::No, IDNO);
      add(QMessageBox::Cancel, IDCANCEL);
      escape = buttons[2].first;
      break;
    case MB_YESNO:
      add(QMessageBox::Yes, IDYES);
      add(QMessageBox::No, IDNO);
      box.escapable = false;
      break;
    default:
      add(QMessageBox::Ok, IDOK);
      escape = buttons[0].first;
      break;
  }
  const std::size_t def = (style & MB_DEFBUTTON2) != 0 && buttons.size() > 1 ? 1 : 0;
  box.setDefaultButton(buttons[def].first);
  buttons[def].first->setFocus();
  if (escape != nullptr) box.setEscapeButton(escape);
  box.exec();
  const auto* clicked = box.clickedButton();
  for (const auto& [button, code] : buttons) {
    if (button == clicked) return code;
  }
  // Closed without a button: the answer Esc stands for.
  for (const auto& [button, code] : buttons) {
    if (button == escape) return code;
  }
  return IDNO;
}

}  // namespace talvi::ui
