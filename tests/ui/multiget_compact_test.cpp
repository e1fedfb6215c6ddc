// SPDX-License-Identifier: MIT
// A read-only log control shown by the compact view: the text it is given
// through a TextVar or an accessor, appended or replaced, comes back the
// same, and GoBottom follows the end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <string>

#include "log_window.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "ui/qt/log_choice.h"
#include "ui/qt/log_view.h"

namespace talvi::ui {
namespace {

// Runs `body` with a read-only log control over `text` in an open window,
// the control shown by the compact view.
template <typename Body>
void WithCompactLog(TextVar& text, Body body) {
  Startup();
  const bool before = qt::CompactLog();
  qt::UseCompactLog(true);
  testing::LogWindow window(text, 500, 300);
  qt::UseCompactLog(before);
  qt::LogView* view = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    for (QWidget* child : top->findChildren<QWidget*>()) {
      if (view == nullptr) view = dynamic_cast<qt::LogView*>(child);
    }
  }
  ASSERT_NE(view, nullptr);
  body(*window.get, *view);
  window.dialog.End();
}

using testing::AppendLine;

TEST(MultiGetCompactTest, AppendsRewritesAndAccessorsComeBackTheSame) {
  TextVar text;
  text.Set("Waiting data (ESC to exit)...\r\n");
  WithCompactLog(text, [&](TMultiGet& get, qt::LogView& view) {
    EXPECT_EQ(get.GetText(), text.Get());
    for (int i = 0; i < 300; ++i) {
      AppendLine(get, "Receiving track " + std::to_string(i % 80) + ", side " +
                          std::to_string(i % 2) + "\r\n");
    }
    // A break split across two refreshes stays one break.
    AppendLine(get, "gi\xE0 \x80\r");
    AppendLine(get, "\nafter");
    EXPECT_EQ(get.GetText(), text.Get());
    EXPECT_EQ(view.LineCount(), 303u);
    for (int i = 0; i < 3; ++i) SYSREFRESH();
    QScrollBar* bar = view.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.Caret(), view.End());
    EXPECT_TRUE(view.viewport()->rect().contains(view.LineRect(302))) << view.LineRect(302).y();

    // A key typed into the log changes nothing and is remembered as the
    // last key.
    view.setFocus();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_Agrave, Qt::NoModifier, QString::fromUtf8("à"));
    QApplication::sendEvent(&view, &typed);
    EXPECT_EQ(LASTKEY(), 0xE0);
    EXPECT_EQ(get.GetText(), text.Get());

    // A change that is not an append is shown whole.
    get.VarPut("new\r\nlog");
    get.Refresh();
    EXPECT_EQ(get.GetText(), "new\r\nlog");
    EXPECT_EQ(view.LineCount(), 2u);

    // An accessor put in place of the variable is followed from then on.
    std::string other = "other\r\n";
    get.bSetGet = [&](std::optional<std::string> v) { return v ? (other = *v) : other; };
    AppendLine(get, "one more\r\n");
    EXPECT_EQ(other, "other\r\none more\r\n");
    EXPECT_EQ(get.GetText(), other);
    EXPECT_EQ(text.Get(), "new\r\nlog");
  });
}

}  // namespace
}  // namespace talvi::ui
