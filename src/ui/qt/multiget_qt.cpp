// TMultiGet on Qt: a QPlainTextEdit. A log grows at its end, so Refresh
// sends only the new tail when the text still begins with what is shown;
// the cost of one appended line then does not depend on the log's length.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <cstring>

#include "ui/qt/qt_internal.h"
#include "ui/ui.h"

namespace talvi::ui {
namespace {

// CR LF (and a lone CR) become the editor's line break.
QString ToEditor(const std::string& ansi) {
  std::string text;
  text.reserve(ansi.size());
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    if (ansi[i] == '\r') {
      text += '\n';
      if (i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
    } else {
      text += ansi[i];
    }
  }
  return qt::ToQ(text);
}

QPlainTextEdit* Editor(const TControl& control) {
  return control.native() ? qobject_cast<QPlainTextEdit*>(control.native()->widget.data())
                          : nullptr;
}

}  // namespace

void TMultiGet::Create() {
  if (native_->widget) return;
  QWidget* parent = oWnd != nullptr ? qt::Container(*oWnd) : nullptr;
  if (parent == nullptr) return;
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(lReadOnly);
  if (lReadOnly) {
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setFrameShape(QFrame::StyledPanel);
  edit->setFocusPolicy(Qt::StrongFocus);
  native_->widget = edit;
  qt::Place(*this, edit);
  shown_.clear();
  Refresh();
}

void TMultiGet::Refresh() {
  QPlainTextEdit* edit = Editor(*this);
  if (edit == nullptr) return;
  std::string text = VarGet();
  const bool extends = text.size() >= shown_.size() &&
                       std::memcmp(text.data(), shown_.data(), shown_.size()) == 0 &&
                       // A CR LF split across two refreshes must not become two breaks.
                       (shown_.empty() || shown_.back() != '\r');
  if (extends && !shown_.empty()) {
    if (text.size() > shown_.size()) {
      QTextCursor cursor(edit->document());
      cursor.movePosition(QTextCursor::End);
      cursor.insertText(ToEditor(text.substr(shown_.size())));
    }
  } else {
    edit->setPlainText(ToEditor(text));
  }
  shown_ = std::move(text);
}

void TMultiGet::GoBottom() {
  QPlainTextEdit* edit = Editor(*this);
  if (edit == nullptr) return;
  QTextCursor cursor = edit->textCursor();
  cursor.movePosition(QTextCursor::End);
  edit->setTextCursor(cursor);
  edit->ensureCursorVisible();
  if (QScrollBar* bar = edit->verticalScrollBar()) bar->setValue(bar->maximum());
}

std::string TMultiGet::GetText() const {
  QPlainTextEdit* edit = Editor(*this);
  if (edit == nullptr) return {};
  std::string text = qt::FromQ(edit->toPlainText());
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace talvi::ui
