// SPDX-License-Identifier: MIT
// The log control: bound text, appending, scrolling, read-only input and
// the 1252 texts on screen, shown by the compact log view (the default)
// and by a text edit.
#include "ui/multiget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "log_window.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/qt/log_choice.h"
#include "ui/qt/log_view.h"
#include "ui/qt_driver.h"
#include "ui/text1252.h"

namespace talvi::ui {
namespace {

struct Log {
  std::string text;
  SetGet accessor() {
    return [this](std::optional<std::string> v) { return v ? (text = *v) : text; };
  }
};

// The widget that shows the log, whichever view it is.
struct Shown {
  explicit Shown(QWidget* window) {
    edit = window->findChild<QPlainTextEdit*>();
    for (QWidget* child : window->findChildren<QWidget*>()) {
      if (view == nullptr) view = dynamic_cast<qt::LogView*>(child);
    }
  }
  bool found() const { return (edit != nullptr) != (view != nullptr); }
  QAbstractScrollArea* area() const {
    return edit != nullptr ? static_cast<QAbstractScrollArea*>(edit) : view;
  }
  QScrollBar* bar() const { return area()->verticalScrollBar(); }
  // The text shown, lines joined by LF.
  QString Plain() const {
    return edit != nullptr ? edit->toPlainText() : view->Characters(0, view->CharacterCount());
  }
  int Lines() const {
    return edit != nullptr ? edit->document()->blockCount() : static_cast<int>(view->LineCount());
  }
  bool CaretAtEnd() const {
    return edit != nullptr ? edit->textCursor().position() == edit->document()->characterCount() - 1
                           : view->Caret() == view->End();
  }
  // Where a text shown whole again leaves the caret.
  bool CaretAtStart() const {
    return edit != nullptr ? edit->textCursor().position() == 0
                           : view->Caret() == qt::LogView::Pos{};
  }
  // The middle of line `line` lies inside the viewport.
  bool LineInView(int line) const {
    QRect rect;
    if (edit != nullptr) {
      rect = edit->cursorRect(QTextCursor(edit->document()->findBlockByNumber(line)));
    } else {
      rect = view->LineRect(static_cast<std::size_t>(line));
    }
    return !rect.isEmpty() && area()->viewport()->rect().contains(rect.center());
  }
  void SelectAll() const { edit != nullptr ? edit->selectAll() : view->SelectAll(); }
  bool HasSelection() const {
    return edit != nullptr ? edit->textCursor().hasSelection() : view->HasSelection();
  }
  // The selection, lines joined by LF.
  QString Selected() const {
    if (view != nullptr) return view->SelectedText();
    return edit->textCursor().selectedText().replace(QChar(QChar::ParagraphSeparator), '\n');
  }

  QPlainTextEdit* edit = nullptr;
  qt::LogView* view = nullptr;
};

// Each case runs with the log shown by the compact view and by a text edit.
class MultiGetTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    before_ = qt::CompactLog();
    qt::UseCompactLog(GetParam());
  }
  void TearDown() override { qt::UseCompactLog(before_); }
  // The log's widget in the modal window.
  Shown Modal() const {
    Shown shown(QApplication::activeModalWidget());
    EXPECT_TRUE(shown.found());
    EXPECT_EQ(shown.view != nullptr, GetParam());
    return shown;
  }
  // Builds the main window with the log filling it and runs `body` once it
  // is shown, with the log control and its widget.
  void WithLog(Log& log, const std::function<void(TMultiGet&, Shown&)>& body) {
    DialogArgs args;
    args.nWidth = 500;
    args.nHeight = 300;
    TDialog dialog(args);
    TMultiGet* get = TMultiGet::New(0, 0, log.accessor(), &dialog, 200, 80, true);
    dialog.bStart = [&] {
      Shown shown = Modal();
      if (shown.found()) body(*get, shown);
      dialog.End();
    };
    ActivateArgs activate;
    activate.bInit = [&](TDialog& d) { d.SetControl(get); };
    dialog.Activate(activate);
  }

 private:
  bool before_ = true;
};

INSTANTIATE_TEST_SUITE_P(Views, MultiGetTest, ::testing::Values(true, false),
                         [](const auto& view) { return view.param ? "Compact" : "TextEdit"; });

void Append(TMultiGet& get, const std::string& line) {
  get.VarPut(get.VarGet() + line + "\r\n");
  get.Refresh();
  get.GoBottom();
}

TEST_P(MultiGetTest, EmptyLogStaysAtTop) {
  Log log;
  WithLog(log, [](TMultiGet& get, Shown& shown) {
    get.Refresh();
    get.GoBottom();
    EXPECT_TRUE(shown.Plain().isEmpty());
    EXPECT_EQ(shown.bar()->value(), 0);
  });
}

TEST_P(MultiGetTest, HundredLinesLeaveLastVisibleAndCaretAtEnd) {
  Log log;
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    for (int i = 1; i <= 100; ++i) Append(get, "Receiving track " + std::to_string(i));
    SYSREFRESH();
    EXPECT_EQ(get.GetText(), log.text);
    EXPECT_TRUE(shown.CaretAtEnd());
    EXPECT_GT(shown.bar()->maximum(), 0);
    EXPECT_EQ(shown.bar()->value(), shown.bar()->maximum());
    EXPECT_TRUE(shown.Plain().endsWith("Receiving track 100\n"));
    EXPECT_TRUE(shown.LineInView(99));
    EXPECT_FALSE(shown.LineInView(0));
  });
}

// The scroll to the end is done by the next pump step, once for the lines
// before it. A new line brings the end back into view after the user
// scrolled away, and clears a selection the user made, the caret going
// after the last character.
TEST_P(MultiGetTest, ANewLineBringsTheEndBackAfterTheUserScrolledOrSelected) {
  Log log;
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    for (int i = 1; i <= 60; ++i) Append(get, "Receiving track " + std::to_string(i));
    SYSREFRESH();
    QScrollBar* bar = shown.bar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(0);
    Append(get, "after scrolling away");
    SYSREFRESH();
    EXPECT_EQ(bar->value(), bar->maximum());
    shown.SelectAll();
    ASSERT_TRUE(shown.HasSelection());
    Append(get, "after a selection");
    SYSREFRESH();
    EXPECT_FALSE(shown.HasSelection());
    EXPECT_TRUE(shown.CaretAtEnd());
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(get.GetText(), log.text);
  });
}

// The log is read-only: it keeps one line per line and, in a text edit, no
// undo steps, which would otherwise grow with every line for nothing.
TEST_P(MultiGetTest, AReadOnlyLogKeepsOneLinePerLineAndNoUndoSteps) {
  Log log;
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    for (int i = 1; i <= 200; ++i) Append(get, "Receiving track " + std::to_string(i));
    SYSREFRESH();
    EXPECT_EQ(shown.Lines(), 201);
    if (shown.edit != nullptr) {
      EXPECT_FALSE(shown.edit->document()->isUndoRedoEnabled());
      EXPECT_EQ(shown.edit->document()->availableUndoSteps(), 0);
    }
  });
}

// A control that goes away with its window before the pump step that would
// scroll it leaves nothing behind that runs (the sanitizer builds would
// report a use of its freed state).
TEST_P(MultiGetTest, AScrollAskedForByAControlThatIsGoneIsDropped) {
  TextVar text;
  {
    testing::LogWindow window(text, 300, 200);
    for (int i = 0; i < 50; ++i) testing::AppendLine(*window.get, "line\r\n");
    EXPECT_EQ(window.get->GetText(), text.Get());
  }
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SYSREFRESH());
  EXPECT_EQ(text.Get().size(), 50u * 6u);
}

TEST_P(MultiGetTest, VarPutAloneChangesNothingShown) {
  Log log;
  log.text = "first\r\n";
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    EXPECT_EQ(shown.Plain(), QString("first\n"));
    get.VarPut("second\r\n");
    EXPECT_EQ(log.text, "second\r\n");
    EXPECT_EQ(shown.Plain(), QString("first\n"));
    // A text that does not extend the shown one replaces it whole.
    get.Refresh();
    EXPECT_EQ(shown.Plain(), QString("second\n"));
  });
}

TEST_P(MultiGetTest, TypingChangesNothingButSelectionWorks) {
  Log log;
  log.text = "Waiting data (ESC to exit)...\r\n";
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    QWidget* target = shown.area();
    target->setFocus();
    testing::PressKey(target, Qt::Key_A);
    testing::PressKey(target, Qt::Key_Backspace);
    testing::PressKey(target, Qt::Key_Return);
    EXPECT_EQ(get.GetText(), log.text);
    EXPECT_EQ(log.text, "Waiting data (ESC to exit)...\r\n");
    // A key that types a character is still remembered as the last key.
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_Agrave, Qt::NoModifier, QString::fromUtf8("à"));
    QApplication::sendEvent(target, &typed);
    EXPECT_EQ(LASTKEY(), 0xE0);
    EXPECT_EQ(log.text, "Waiting data (ESC to exit)...\r\n");
    shown.SelectAll();
    EXPECT_EQ(shown.Selected(), QString("Waiting data (ESC to exit)...\n"));
  });
}

TEST_P(MultiGetTest, AnsiTextShowsItsCharacters) {
  Log log;
  log.text = "gi\xE0 \x80 5\r\n";
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    EXPECT_EQ(shown.Plain(), QString::fromUtf8("già € 5\n"));
    EXPECT_EQ(get.GetText(), log.text);
  });
}

// A text shown whole again puts the caret at the start; an append leaves
// it where it was, here at the end.
TEST_P(MultiGetTest, TextVarAppendsSendOnlyTheTailAndRewritesResendAll) {
  TextVar text;
  text.Set("Waiting data (ESC to exit)...\r\n");
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 300;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
  dialog.bStart = [&] {
    Shown shown = Modal();
    ASSERT_TRUE(shown.found());
    for (int i = 0; i < 20; ++i) {
      get->Append("Receiving track " + std::to_string(i) + ", side 0\r\n");
      get->Refresh();
      get->GoBottom();
    }
    // A break split across two refreshes stays one break.
    get->Append("last\r");
    get->Refresh();
    get->Append("\nafter");
    get->Refresh();
    EXPECT_FALSE(shown.CaretAtStart());  // nothing shown was sent again
    EXPECT_EQ(get->GetText(), text.Get());
    EXPECT_EQ(get->VarGet(), text.Get());
    EXPECT_EQ(shown.Lines(), 23);

    // A change that is not an append (here through VarPut, which the
    // accessor turns into Set) is shown whole, even when it is longer.
    get->VarPut(std::string(text.Get().size() + 5, 'x'));
    get->Refresh();
    EXPECT_TRUE(shown.CaretAtStart());
    EXPECT_EQ(get->GetText(), text.Get());
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
}

TEST_P(MultiGetTest, AccessorBindingComparesWhatIsShown) {
  Log log;
  log.text = "one\r";
  WithLog(log, [&](TMultiGet& get, Shown& shown) {
    get.GoBottom();
    SYSREFRESH();
    get.Append("\ntwo\r\n");
    get.Refresh();
    EXPECT_FALSE(shown.CaretAtStart());
    EXPECT_EQ(shown.Plain(), QString("one\ntwo\n"));
    // Same length and longer, but the shown beginning changed: sent whole.
    get.VarPut("ONE\r\ntwo\r\nthree");
    get.Refresh();
    EXPECT_EQ(shown.Plain(), QString("ONE\ntwo\nthree"));
    EXPECT_TRUE(shown.CaretAtStart());
    EXPECT_EQ(get.GetText(), log.text);
  });
}

// A bSetGet put in place of the TextVar binding is the only way to the
// text from then on: appends, reads and the window all follow it, and the
// variable is left alone.
TEST_P(MultiGetTest, ReplacedAccessorOfATextVarIsUsed) {
  TextVar text;
  text.Set("old\r\n");
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 300;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
  dialog.bStart = [&] {
    Shown shown = Modal();
    ASSERT_TRUE(shown.found());
    get->Append("shown\r\n");
    get->Refresh();
    EXPECT_EQ(shown.Plain(), QString("old\nshown\n"));

    Log other;
    other.text = "new\r\n";
    int calls = 0;
    get->bSetGet = [&](std::optional<std::string> v) {
      ++calls;
      return v ? (other.text = *v) : other.text;
    };
    get->Append("line\r\n");
    EXPECT_EQ(other.text, "new\r\nline\r\n");
    EXPECT_EQ(text.Get(), "old\r\nshown\r\n");
    EXPECT_EQ(get->VarGet(), other.text);
    // The window shows the new text whole, not the variable's tail.
    get->Refresh();
    EXPECT_EQ(shown.Plain(), QString("new\nline\n"));
    EXPECT_GT(calls, 0);
    // And it keeps following the accessor as it grows.
    get->Append("more");
    get->Refresh();
    EXPECT_EQ(get->GetText(), "new\r\nline\r\nmore");
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
}

TEST(TextTest, AnsiRoundTripAndUnknownCharacters) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(AnsiToUtf8("\xE0\xE8\x80"), "\xC3\xA0\xC3\xA8\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"), "?");  // outside 1252
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");        // cut short
  EXPECT_EQ(Utf8ToAnsi("\xA0x"), "?x");        // stray continuation
  EXPECT_EQ(Utf8ToAnsi(std::string("\0z", 2)), std::string("\0z", 2));
}

}  // namespace
}  // namespace talvi::ui
