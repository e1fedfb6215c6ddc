// SPDX-License-Identifier: MIT
// The compact log view: its lines and bytes, wrapping at its width,
// scrolling, and what the user does with it (caret, selection, copy),
// in a real window on the offscreen platform.
#include "ui/qt/log_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <memory>
#include <string>

#include "ui/app.h"

namespace talvi::ui::qt {
namespace {

// A window with a log view filling it, shown.
struct Shown {
  Shown(int width = 300, int height = 200) {
    Startup();
    window = std::make_unique<QWidget>();
    window->resize(width, height);
    view = new LogView(window.get());
    view->setGeometry(0, 0, width, height);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    window->show();
    window->activateWindow();
    Pump();
  }
  static void Pump() {
    for (int i = 0; i < 3; ++i) SYSREFRESH();
  }
  void Lines(int from, int to) {
    for (int i = from; i < to; ++i) {
      view->AppendText("Receiving track " + std::to_string(i) + ", side 0\r\n");
      view->GoBottom();
    }
    Pump();
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(view, &press);
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &event);
  }
  QScrollBar* bar() const { return view->verticalScrollBar(); }

  std::unique_ptr<QWidget> window;
  LogView* view = nullptr;
};

TEST(LogViewTest, KeepsTheBytesAndEveryKindOfLineBreak) {
  Shown shown;
  LogView& view = *shown.view;
  EXPECT_EQ(view.Text(), "");
  EXPECT_EQ(view.LineCount(), 1u);
  view.AppendText("one\r\ntwo\rthree\nfour");
  EXPECT_EQ(view.Text(), "one\r\ntwo\r\nthree\r\nfour");
  // A CR LF split between two appends is one break.
  view.AppendText(" more\r");
  view.AppendText("\nfive", true);
  // The 1252 bytes come back as they were, zero bytes included.
  view.AppendText(std::string("\r\ngi\xE0 \x80 \xA0\x81\0z", 12));
  EXPECT_EQ(view.Text(),
            std::string("one\r\ntwo\r\nthree\r\nfour more\r\nfive\r\ngi\xE0 \x80 \xA0\x81\0z", 44));
  EXPECT_EQ(view.LineCount(), 6u);
  view.AppendText("\r\n");
  EXPECT_EQ(view.LineCount(), 7u);
  EXPECT_EQ(view.Text().substr(view.Text().size() - 2), "\r\n");

  view.GoBottom();
  view.SetText("new\r\n\r\nlast");
  EXPECT_EQ(view.Text(), "new\r\n\r\nlast");
  EXPECT_EQ(view.Caret(), LogView::Pos{});
  view.SetText("");
  EXPECT_EQ(view.Text(), "");
}

TEST(LogViewTest, FollowsTheEndAndLeavesTheUserWhereHeScrolled) {
  Shown shown;
  LogView& view = *shown.view;
  shown.Lines(0, 100);
  ASSERT_GT(shown.bar()->maximum(), 0);
  EXPECT_EQ(shown.bar()->value(), shown.bar()->maximum());
  // The last line is inside the viewport, whole.
  const QRect last = view.LineRect(99);
  EXPECT_FALSE(last.isEmpty());
  EXPECT_TRUE(view.viewport()->rect().contains(last)) << last.y();
  EXPECT_EQ(view.Caret(), view.End());

  // Lines that come without GoBottom leave a scrolled view alone ...
  shown.bar()->setValue(10);
  view.AppendText("quiet line\r\n");
  shown.Pump();
  EXPECT_EQ(shown.bar()->value(), 10);
  // ... and GoBottom brings the end back, clearing a selection.
  view.SelectAll();
  ASSERT_TRUE(view.HasSelection());
  shown.Lines(100, 101);
  EXPECT_FALSE(view.HasSelection());
  EXPECT_EQ(shown.bar()->value(), shown.bar()->maximum());
  EXPECT_TRUE(view.viewport()->rect().contains(view.LineRect(view.LineCount() - 2)));

  // The wheel and the keys scroll.
  const int before = shown.bar()->value();
  QWheelEvent wheel(QPointF(50, 50), view.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                    QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view.viewport(), &wheel);
  EXPECT_LT(shown.bar()->value(), before);
  shown.Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(shown.bar()->value(), 0);
  EXPECT_EQ(view.Caret(), LogView::Pos{});
  shown.Key(Qt::Key_PageDown);
  shown.Key(Qt::Key_PageDown);
  EXPECT_GT(view.Caret().line, 0u);
  EXPECT_TRUE(view.viewport()->rect().contains(view.LineRect(view.Caret().line)));
  shown.Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(view.Caret(), view.End());
  EXPECT_EQ(shown.bar()->value(), shown.bar()->maximum());
}

TEST(LogViewTest, WrapsLongLinesAtItsWidth) {
  Shown shown(300, 200);
  LogView& view = *shown.view;
  view.AppendText("short\r\n");
  std::string words;
  for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
  view.AppendText(words);
  view.GoBottom();
  shown.Pump();
  const int row = view.LineRect(0).height();
  const int wrapped = view.LineRect(1).height();
  EXPECT_GE(wrapped, 3 * row);
  EXPECT_LE(view.LineRect(1).right(), view.viewport()->width());
  // Wider, the line takes fewer rows; the text is the same.
  shown.window->resize(600, 200);
  view.setGeometry(0, 0, 600, 200);
  shown.Pump();
  EXPECT_LT(view.LineRect(1).height(), wrapped);
  EXPECT_EQ(view.Text(), "short\r\n" + words);
  // The end of a wrapped last line is in view, and the keys move along
  // its rows: Up from the end stays inside it.
  shown.window->resize(300, 200);
  view.setGeometry(0, 0, 300, 200);
  shown.Pump();
  shown.Key(Qt::Key_Up);
  EXPECT_EQ(view.Caret().line, 1u);
  EXPECT_LT(view.Caret().col, static_cast<int>(words.size()));
  EXPECT_GT(view.Caret().col, 0);
}

TEST(LogViewTest, SelectsWithKeysAndMouseCopiesAndIgnoresTyping) {
  Shown shown;
  LogView& view = *shown.view;
  view.AppendText("alpha beta\r\ngamma delta\r\nepsilon");
  shown.Pump();
  view.setFocus();
  shown.Key(Qt::Key_Home, Qt::ControlModifier);
  shown.Key(Qt::Key_Right, Qt::ShiftModifier);
  shown.Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(view.SelectedText(), QString("alpha beta\ng"));
  shown.Key(Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(view.SelectedText(), QString("alpha beta\ngamma delta"));
  QApplication::clipboard()->clear();
  shown.Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QString("alpha beta\ngamma delta"));
  // Moving without Shift drops the selection.
  shown.Key(Qt::Key_Left);
  EXPECT_FALSE(view.HasSelection());

  // Typing changes nothing and goes on to the window.
  QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(&view, &typed);
  EXPECT_FALSE(typed.isAccepted());
  QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(&view, &back);
  EXPECT_FALSE(back.isAccepted());
  EXPECT_EQ(view.Text(), "alpha beta\r\ngamma delta\r\nepsilon");

  // A drag from the start of the first line to past the end of the second.
  const QRect first = view.LineRect(0);
  const QRect second = view.LineRect(1);
  shown.Mouse(QEvent::MouseButtonPress, QPoint(first.left(), first.center().y()));
  EXPECT_FALSE(view.HasSelection());
  shown.Mouse(QEvent::MouseMove, QPoint(second.right() + 10, second.center().y()));
  shown.Mouse(QEvent::MouseButtonRelease, QPoint(second.right() + 10, second.center().y()),
              Qt::NoButton);
  EXPECT_EQ(view.SelectedText(), QString("alpha beta\ngamma delta"));
  // A double click takes the word under it.
  shown.Mouse(QEvent::MouseButtonDblClick, QPoint(second.left() + 2, second.center().y()));
  EXPECT_EQ(view.SelectedText(), QString("gamma"));
  shown.Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view.SelectedText(), QString("alpha beta\ngamma delta\nepsilon"));
}

// Pumps until `done` holds, or long enough that it never will.
template <typename Done>
bool PumpUntil(Done done) {
  for (int i = 0; i < 4000 && !done(); ++i) SYSWAIT(5);
  return done();
}

TEST(LogViewTest, AScreenReaderReadsTheTextCaretAndSelection) {
  Shown shown;
  LogView& view = *shown.view;
  view.AppendText("alpha beta\r\ngamma\r\n\r\nlast");
  shown.Pump();
  QAccessibleInterface* described = QAccessible::queryAccessibleInterface(&view);
  ASSERT_NE(described, nullptr);
  EXPECT_EQ(described->role(), QAccessible::EditableText);
  EXPECT_TRUE(described->state().readOnly);
  EXPECT_TRUE(described->state().multiLine);
  QAccessibleTextInterface* text = described->textInterface();
  ASSERT_NE(text, nullptr);
  const QString whole = "alpha beta\ngamma\n\nlast";
  ASSERT_EQ(text->characterCount(), whole.size());
  EXPECT_EQ(text->text(0, text->characterCount()), whole);
  EXPECT_EQ(described->text(QAccessible::Value), whole);
  EXPECT_EQ(text->text(6, 14), QString("beta\ngam"));
  // Every offset is a position of the view and back, breaks included.
  for (int offset = 0; offset <= whole.size(); ++offset) {
    const LogView::Pos at = view.AtOffset(offset);
    EXPECT_EQ(view.Offset(at), offset);
    EXPECT_EQ(view.Characters(offset, offset + 1), whole.mid(offset, 1)) << offset;
  }

  view.GoBottom();
  EXPECT_EQ(text->cursorPosition(), whole.size());
  text->setSelection(0, 6, 14);
  EXPECT_EQ(view.SelectedText(), QString("beta\ngam"));
  int start = -1;
  int end = -1;
  ASSERT_EQ(text->selectionCount(), 1);
  text->selection(0, &start, &end);
  EXPECT_EQ(start, 6);
  EXPECT_EQ(end, 14);
  text->removeSelection(0);
  EXPECT_EQ(text->selectionCount(), 0);
  text->setCursorPosition(18);
  EXPECT_EQ(view.Caret(), (LogView::Pos{3, 0}));

  // A character's rectangle on screen leads back to it, left to right.
  int left = -1;
  for (int offset = 0; offset < 10; ++offset) {
    const QRect rect = text->characterRect(offset);
    ASSERT_FALSE(rect.isEmpty()) << offset;
    EXPECT_GT(rect.left(), left);
    left = rect.left();
    EXPECT_EQ(text->offsetAtPoint(rect.center()), offset);
  }
  EXPECT_EQ(text->offsetAtPoint(view.viewport()->mapToGlobal(QPoint(-5, -5))), -1);
}

// A focused view left alone (the window waiting for a command) gets no
// timer events: no blinking caret, no drag scroll left running.
TEST(LogViewTest, AFocusedViewLeftAloneWakesForNothing) {
  Shown shown;
  LogView& view = *shown.view;
  shown.Lines(0, 100);
  view.setFocus();
  shown.Key(Qt::Key_Up);
  shown.Mouse(QEvent::MouseButtonPress, view.LineRect(view.Caret().line).center());
  shown.Mouse(QEvent::MouseMove, QPoint(10, view.viewport()->height() + 10));
  shown.Mouse(QEvent::MouseButtonRelease, QPoint(10, view.viewport()->height() + 10), Qt::NoButton);
  shown.Pump();
  ASSERT_TRUE(view.hasFocus());
  struct Timers : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Timer) ++count;
      return false;
    }
    int count = 0;
  } timers;
  view.installEventFilter(&timers);
  view.viewport()->installEventFilter(&timers);
  for (int i = 0; i < 30; ++i) SYSWAIT(20);
  EXPECT_EQ(timers.count, 0);
}

// A drag held below the view goes on scrolling it without the pointer
// moving, and stops with the button.
TEST(LogViewTest, ADragHeldBelowTheViewScrollsOn) {
  Shown shown;
  LogView& view = *shown.view;
  shown.Lines(0, 200);
  shown.bar()->setValue(0);
  shown.Pump();
  const QRect first = view.LineRect(0);
  shown.Mouse(QEvent::MouseButtonPress, first.center());
  const QPoint below(first.center().x(), view.viewport()->height() + 20);
  shown.Mouse(QEvent::MouseMove, below);
  const int afterMove = shown.bar()->value();
  EXPECT_GT(afterMove, 0);
  EXPECT_TRUE(PumpUntil([&] { return shown.bar()->value() >= afterMove + 3; }));
  EXPECT_GT(view.Caret().line, static_cast<std::size_t>(afterMove));
  shown.Mouse(QEvent::MouseButtonRelease, below, Qt::NoButton);
  const int released = shown.bar()->value();
  for (int i = 0; i < 10; ++i) SYSWAIT(10);
  EXPECT_EQ(shown.bar()->value(), released);
  EXPECT_TRUE(view.HasSelection());
}

}  // namespace
}  // namespace talvi::ui::qt
