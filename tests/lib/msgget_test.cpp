// MSGGET: confirm, cancel, close, and a bad value caught before closing.
#include "lib/msgget.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>

#include "ui/qt_driver.h"
#include "ui/ui.h"

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

TEST(MsgGetTest, NumberUnderPicture) {
  double value = 1.5;
  QString shown;
  Answer("12.25", [&](QWidget* w) { PressKey(w, Qt::Key_Return); });
  EXPECT_TRUE(MSGGET("Importo", "Euro", value, "999.99"));
  EXPECT_DOUBLE_EQ(value, 12.25);
}

}  // namespace
}  // namespace talvi::lib
