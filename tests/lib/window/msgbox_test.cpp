// SPDX-License-Identifier: MIT
// POPMSG's question boxes answered with the mouse and the keyboard.
#include "lib/window/msgbox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "ui/app.h"
#include "ui/qt_driver.h"

namespace talvi::lib {
namespace {

using talvi::testing::ClickButton;
using talvi::testing::PressKey;
using talvi::testing::WhenModal;

struct Seen {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString defaultButton;
};

// Arms an answer for the next box: press `key`, or click the button `click`.
void AnswerNext(Seen* seen, const QString& click, int key = 0) {
  WhenModal([=](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    if (seen != nullptr) {
      seen->title = box->windowTitle();
      seen->text = box->text();
      seen->icon = box->icon();
      for (auto* b : box->buttons()) seen->buttons << b->text().remove('&');
      seen->buttons.sort();
      if (box->defaultButton()) seen->defaultButton = box->defaultButton()->text().remove('&');
    }
    if (key != 0) {
      PressKey(box, key);
    } else {
      ASSERT_TRUE(ClickButton(box, click));
    }
  });
}

TEST(PopMsgTest, InformationSplitsLinesAndConvertsLetters) {
  ui::Startup();
  Seen seen;
  AnswerNext(&seen, "OK");
  const MsgResult r = POPMSG("Porta gi\x85 aperta;Riprova", 1);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(r));
  EXPECT_EQ(seen.title, QString("Attenzione"));
  EXPECT_EQ(seen.text, QString::fromUtf8("Porta già aperta\nRiprova"));
  EXPECT_EQ(seen.icon, QMessageBox::Information);
  EXPECT_EQ(seen.buttons, QStringList{"OK"});
}

TEST(PopMsgTest, OkCancelQuestion) {
  Seen seen;
  AnswerNext(&seen, "OK");
  EXPECT_EQ(std::get<bool>(POPMSG("Sovrascrivo?", 2, "Titolo")), true);
  EXPECT_EQ(seen.title, QString("Titolo"));
  EXPECT_EQ(seen.icon, QMessageBox::Question);
  EXPECT_EQ(seen.defaultButton, QString("OK"));
  AnswerNext(nullptr, "Cancel");
  EXPECT_EQ(std::get<bool>(POPMSG("Sovrascrivo?", 2)), false);
  AnswerNext(nullptr, {}, Qt::Key_Escape);
  EXPECT_EQ(std::get<bool>(POPMSG("Sovrascrivo?", 2)), false);
  AnswerNext(nullptr, {}, Qt::Key_Return);
  EXPECT_EQ(std::get<bool>(POPMSG("Sovrascrivo?", 2)), true);
}

TEST(PopMsgTest, YesNoCancelGivesButtonCodes) {
  Seen seen;
  AnswerNext(&seen, "Yes");
  EXPECT_EQ(std::get<int>(POPMSG("Salvo?", 3)), 6);
  EXPECT_EQ(seen.buttons, (QStringList{"Cancel", "No", "Yes"}));
  EXPECT_EQ(seen.defaultButton, QString("Yes"));
  AnswerNext(nullptr, "No");
  EXPECT_EQ(std::get<int>(POPMSG("Salvo?", 3)), 7);
  AnswerNext(nullptr, {}, Qt::Key_Escape);
  EXPECT_EQ(std::get<int>(POPMSG("Salvo?", 3)), 2);
}

TEST(PopMsgTest, YesNoDefaults) {
  Seen seen;
  AnswerNext(&seen, {}, Qt::Key_Return);
  EXPECT_EQ(std::get<bool>(POPMSG("Continuo?", 4)), true);
  EXPECT_EQ(seen.defaultButton, QString("Yes"));
  AnswerNext(&seen, {}, Qt::Key_Return);
  EXPECT_EQ(std::get<bool>(POPMSG("Annullo le modifiche?", 5)), false);
  EXPECT_EQ(seen.defaultButton, QString("No"));
  AnswerNext(nullptr, "Yes");
  EXPECT_EQ(std::get<bool>(POPMSG("Annullo le modifiche?", 5)), true);
}

TEST(PopMsgTest, YesNoIgnoresEsc) {
  bool stillOpen = false;
  WhenModal([&](QWidget* w) {
    PressKey(w, Qt::Key_Escape);
    QApplication::processEvents();
    stillOpen = w->isVisible();
    ClickButton(w, "No");
  });
  EXPECT_EQ(std::get<bool>(POPMSG("Continuo?", 4)), false);
  EXPECT_TRUE(stillOpen);
}

TEST(PopMsgTest, StopBoxAndUnknownTypes) {
  Seen seen;
  AnswerNext(&seen, "OK");
  EXPECT_EQ(std::get<bool>(POPMSG("Errore grave", 6)), true);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, (QStringList{"Cancel", "OK"}));
  // No box at all: the call returns at once with nothing.
  EXPECT_TRUE(std::holds_alternative<std::monostate>(POPMSG("niente", 7)));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(POPMSG("niente", 0)));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(PopMsgTest, O2AChangesOnlyTheSixLetters) {
  EXPECT_EQ(O2A("\x85\x8A\x82\x8D\x95\x97"), "\xE0\xE8\xE9\xEC\xF2\xF9");
  EXPECT_EQ(O2A(std::string("a\x80\x83;\0", 5)), std::string("a\x80\x83;\0", 5));
}

}  // namespace
}  // namespace talvi::lib
