// SPDX-License-Identifier: MIT
// The log control: bound text, appending, scrolling, read-only input and
// the 1252 texts on screen.
#include "ui/multiget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/app.h"
#include "ui/dialog.h"
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

// Builds the main window with the log filling it and runs `body` once it
// is shown, with the log control and its editor.
void WithLog(Log& log, const std::function<void(TMultiGet&, QPlainTextEdit&)>& body) {
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 300;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(0, 0, log.accessor(), &dialog, 200, 80, true);
  dialog.bStart = [&] {
    auto* edit = QApplication::activeModalWidget()->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    body(*get, *edit);
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
}

void Append(TMultiGet& get, const std::string& line) {
  get.VarPut(get.VarGet() + line + "\r\n");
  get.Refresh();
  get.GoBottom();
}

TEST(MultiGetTest, EmptyLogStaysAtTop) {
  Log log;
  WithLog(log, [](TMultiGet& get, QPlainTextEdit& edit) {
    get.Refresh();
    get.GoBottom();
    EXPECT_TRUE(edit.toPlainText().isEmpty());
    EXPECT_EQ(edit.verticalScrollBar()->value(), 0);
  });
}

TEST(MultiGetTest, HundredLinesLeaveLastVisibleAndCaretAtEnd) {
  Log log;
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    for (int i = 1; i <= 100; ++i) Append(get, "Receiving track " + std::to_string(i));
    SYSREFRESH();
    EXPECT_EQ(get.GetText(), log.text);
    EXPECT_EQ(edit.textCursor().position(), edit.document()->characterCount() - 1);
    EXPECT_GT(edit.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(edit.verticalScrollBar()->value(), edit.verticalScrollBar()->maximum());
    // The block of the last line lies inside the viewport.
    const QTextBlock last = edit.document()->findBlockByNumber(99);
    EXPECT_EQ(last.text(), QString("Receiving track 100"));
    QTextCursor at(last);
    const QRect r = edit.cursorRect(at);
    EXPECT_TRUE(edit.viewport()->rect().contains(r.center())) << r.y();
  });
}

// The scroll to the end is done by the next pump step, once for the lines
// before it. A new line brings the end back into view after the user
// scrolled away, and clears a selection the user made, the caret going
// after the last character.
TEST(MultiGetTest, ANewLineBringsTheEndBackAfterTheUserScrolledOrSelected) {
  Log log;
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    for (int i = 1; i <= 60; ++i) Append(get, "Receiving track " + std::to_string(i));
    SYSREFRESH();
    QScrollBar* bar = edit.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(0);
    Append(get, "after scrolling away");
    SYSREFRESH();
    EXPECT_EQ(bar->value(), bar->maximum());
    edit.selectAll();
    ASSERT_TRUE(edit.textCursor().hasSelection());
    Append(get, "after a selection");
    SYSREFRESH();
    EXPECT_FALSE(edit.textCursor().hasSelection());
    EXPECT_EQ(edit.textCursor().position(), edit.document()->characterCount() - 1);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(get.GetText(), log.text);
  });
}

// The log is read-only: it keeps one block per line and no undo steps,
// which would otherwise grow with every line for nothing.
TEST(MultiGetTest, AReadOnlyLogKeepsNoUndoSteps) {
  Log log;
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    for (int i = 1; i <= 200; ++i) Append(get, "Receiving track " + std::to_string(i));
    SYSREFRESH();
    EXPECT_FALSE(edit.document()->isUndoRedoEnabled());
    EXPECT_EQ(edit.document()->availableUndoSteps(), 0);
    EXPECT_EQ(edit.document()->blockCount(), 201);
  });
}

// A control that goes away with its window before the pump step that would
// scroll it leaves nothing behind that runs (the sanitizer builds would
// report a use of its freed state).
TEST(MultiGetTest, AScrollAskedForByAControlThatIsGoneIsDropped) {
  TextVar text;
  {
    DialogArgs args;
    args.nWidth = 300;
    args.nHeight = 200;
    TDialog dialog(args);
    TMultiGet* get = TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
    ActivateArgs activate;
    activate.lModal = false;
    activate.bInit = [&](TDialog& d) { d.SetControl(get); };
    dialog.Activate(activate);
    for (int i = 0; i < 50; ++i) {
      get->Append("line\r\n");
      get->Refresh();
      get->GoBottom();
    }
    EXPECT_EQ(get->GetText(), text.Get());
  }
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SYSREFRESH());
  EXPECT_EQ(text.Get().size(), 50u * 6u);
}

TEST(MultiGetTest, VarPutAloneChangesNothingShown) {
  Log log;
  log.text = "first\r\n";
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    EXPECT_EQ(edit.toPlainText(), QString("first\n"));
    get.VarPut("second\r\n");
    EXPECT_EQ(log.text, "second\r\n");
    EXPECT_EQ(edit.toPlainText(), QString("first\n"));
    // A text that does not extend the shown one replaces it whole.
    get.Refresh();
    EXPECT_EQ(edit.toPlainText(), QString("second\n"));
  });
}

TEST(MultiGetTest, TypingChangesNothingButSelectionWorks) {
  Log log;
  log.text = "Waiting data (ESC to exit)...\r\n";
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    edit.setFocus();
    testing::PressKey(&edit, Qt::Key_A);
    testing::PressKey(&edit, Qt::Key_Backspace);
    testing::PressKey(&edit, Qt::Key_Return);
    EXPECT_EQ(get.GetText(), log.text);
    EXPECT_EQ(log.text, "Waiting data (ESC to exit)...\r\n");
    // A key that types a character is still remembered as the last key.
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_Agrave, Qt::NoModifier, QString::fromUtf8("à"));
    QApplication::sendEvent(&edit, &typed);
    EXPECT_EQ(LASTKEY(), 0xE0);
    EXPECT_EQ(log.text, "Waiting data (ESC to exit)...\r\n");
    edit.selectAll();
    EXPECT_EQ(edit.textCursor().selectedText(),
              QString("Waiting data (ESC to exit)...") + QChar(QChar::ParagraphSeparator));
  });
}

TEST(MultiGetTest, AnsiTextShowsItsCharacters) {
  Log log;
  log.text = "gi\xE0 \x80 5\r\n";
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    EXPECT_EQ(edit.toPlainText(), QString::fromUtf8("già € 5\n"));
    EXPECT_EQ(get.GetText(), log.text);
  });
}

// Records what Refresh changes in the editor's document.
struct Changes {
  explicit Changes(QPlainTextEdit& edit) {
    QObject::connect(edit.document(), &QTextDocument::contentsChange,
                     [this](int, int removed, int) { removedChars += removed; });
  }
  int removedChars = 0;
};

TEST(MultiGetTest, TextVarAppendsSendOnlyTheTailAndRewritesResendAll) {
  TextVar text;
  text.Set("Waiting data (ESC to exit)...\r\n");
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 300;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
  dialog.bStart = [&] {
    auto* edit = QApplication::activeModalWidget()->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    Changes changes(*edit);
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
    EXPECT_EQ(changes.removedChars, 0);  // nothing shown was sent again
    EXPECT_EQ(get->GetText(), text.Get());
    EXPECT_EQ(get->VarGet(), text.Get());
    EXPECT_EQ(edit->document()->blockCount(), 23);

    // A change that is not an append (here through VarPut, which the
    // accessor turns into Set) is shown whole, even when it is longer.
    get->VarPut(std::string(text.Get().size() + 5, 'x'));
    get->Refresh();
    EXPECT_GT(changes.removedChars, 0);
    EXPECT_EQ(get->GetText(), text.Get());
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
}

TEST(MultiGetTest, AccessorBindingComparesWhatIsShown) {
  Log log;
  log.text = "one\r";
  WithLog(log, [&](TMultiGet& get, QPlainTextEdit& edit) {
    Changes changes(edit);
    get.Append("\ntwo\r\n");
    get.Refresh();
    EXPECT_EQ(changes.removedChars, 0);
    EXPECT_EQ(edit.toPlainText(), QString("one\ntwo\n"));
    // Same length and longer, but the shown beginning changed: sent whole.
    get.VarPut("ONE\r\ntwo\r\nthree");
    get.Refresh();
    EXPECT_EQ(edit.toPlainText(), QString("ONE\ntwo\nthree"));
    EXPECT_EQ(get.GetText(), log.text);
  });
}

// A bSetGet put in place of the TextVar binding is the only way to the
// text from then on: appends, reads and the window all follow it, and the
// variable is left alone.
TEST(MultiGetTest, ReplacedAccessorOfATextVarIsUsed) {
  TextVar text;
  text.Set("old\r\n");
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 300;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
  dialog.bStart = [&] {
    auto* edit = QApplication::activeModalWidget()->findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    get->Append("shown\r\n");
    get->Refresh();
    EXPECT_EQ(edit->toPlainText(), QString("old\nshown\n"));

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
    EXPECT_EQ(edit->toPlainText(), QString("new\nline\n"));
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
