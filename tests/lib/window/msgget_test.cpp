// SPDX-License-Identifier: MIT
// MSGGET: confirm, cancel, close, and a bad value caught before closing.
#include "lib/window/msgget.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>

#include "ui/app.h"
#include "ui/qt_driver.h"

namespace talvi::lib {
namespace {

using talvi::testing::ClickButton;
using talvi::testing::PressKey;
using talvi::testing::WhenModal;

// Types `text` into the dialog's field, then runs `finish` on the dialog.
void Answer(const QString& text, std::function<void(QWidget*)> finish) {
  WhenModal([=](QWidget* w) {
    auto* edit = w->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    edit->insert(text);
    finish(w);
  });
}

TEST(MsgGetTest, OkStoresTheValue) {
  ui::Startup();
  std::string value = "COM1";
  QString title, prompt;
  Answer("COM3", [&](QWidget* w) {
    title = w->windowTitle();
    ClickButton(w, "OK");
  });
  EXPECT_TRUE(MSGGET("Impostazioni", "Porta seriale", value));
  EXPECT_EQ(value, "COM3");
  EXPECT_EQ(title, QString("Impostazioni"));
}

TEST(MsgGetTest, CancelEscAndCloseKeepTheValue) {
  std::string value = "COM1";
  Answer("COM9", [](QWidget* w) { ClickButton(w, "Annulla"); });
  EXPECT_FALSE(MSGGET("Impostazioni", "Porta", value));
  Answer("COM9", [](QWidget* w) { PressKey(w, Qt::Key_Escape); });
  EXPECT_FALSE(MSGGET("Impostazioni", "Porta", value));
  Answer("COM9", [](QWidget* w) { w->close(); });
  EXPECT_FALSE(MSGGET("Impostazioni", "Porta", value));
  EXPECT_EQ(value, "COM1");
}

TEST(MsgGetTest, BadDateKeepsTheDialogOpen) {
  std::string value = "  /  /  ";
  QString complaint;
  bool stayedOpen = false;
  Answer("30/02/24", [&](QWidget* w) {
    // The complaint box comes up over the dialog from its close check.
    WhenModal([&](QWidget* box) {
      complaint = qobject_cast<QMessageBox*>(box)->text();
      ClickButton(box, "OK");
    });
    ClickButton(w, "OK");
    // The click has returned, and with it the close check that refused the
    // date: fix it and confirm.
    stayedOpen = w->isVisible();
    w->findChild<QLineEdit*>()->setText("28/02/24");
    ClickButton(w, "OK");
  });
  EXPECT_TRUE(MSGGET("Data", "Data di nascita", value, "@D"));
  EXPECT_EQ(complaint, QString("Data non valida."));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(value, "28/02/24");
}

// Types `first`, confirms, answers the complaint that comes up and notes
// its text, then types `second` and confirms again.
void AnswerAfterComplaint(const QString& first, const QString& second, QString& complaint) {
  Answer(first, [&complaint, second](QWidget* w) {
    WhenModal([&complaint](QWidget* box) {
      complaint = qobject_cast<QMessageBox*>(box)->text();
      ClickButton(box, "OK");
    });
    ClickButton(w, "OK");
    // The click has returned, and with it the close check that refused the
    // entry: type the second one and confirm.
    w->findChild<QLineEdit*>()->setText(second);
    ClickButton(w, "OK");
  });
}

// What the close check lets through is what is stored: "," groups digits
// and is left out, "." starts the decimals.
TEST(MsgGetTest, NumberIsStoredAsTheCloseCheckReadsIt) {
  struct Case {
    const char* typed;
    const char* picture;
    double stored;
  };
  for (const Case& c : {Case{"1,5", "999.99", 15}, Case{"1,234", "9,999.99", 1234},
                        Case{" 1,234.75", "9,999.99", 1234.75}, Case{"-2.5", "999.99", -2.5},
                        Case{"", "999.99", 0}}) {
    SCOPED_TRACE(c.typed);
    double value = 3;
    Answer(c.typed, [](QWidget* w) { ClickButton(w, "OK"); });
    EXPECT_TRUE(MSGGET("Importo", "Euro", value, c.picture));
    EXPECT_DOUBLE_EQ(value, c.stored);
  }
}

TEST(MsgGetTest, NumberFieldRefusesTextAndTooLargeNumbers) {
  double value = 1;
  QString complaint;
  AnswerAfterComplaint("dieci", "7.25", complaint);
  EXPECT_TRUE(MSGGET("Importo", "Euro", value, "999.99"));
  EXPECT_EQ(complaint, QString("Campo non valido."));
  EXPECT_DOUBLE_EQ(value, 7.25);

  AnswerAfterComplaint("1,000", "999.99", complaint);
  EXPECT_TRUE(MSGGET("Importo", "Euro", value, "999.99"));
  EXPECT_EQ(complaint, QString("Numero troppo grande."));
  EXPECT_DOUBLE_EQ(value, 999.99);
}

TEST(MsgGetTest, NumberUnderPicture) {
  double value = 1.5;
  QString shown;
  Answer("12.25", [&](QWidget* w) { PressKey(w, Qt::Key_Return); });
  EXPECT_TRUE(MSGGET("Importo", "Euro", value, "999.99"));
  EXPECT_DOUBLE_EQ(value, 12.25);
}

}  // namespace
}  // namespace talvi::lib
