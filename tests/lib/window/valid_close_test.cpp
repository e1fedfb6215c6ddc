// SPDX-License-Identifier: MIT
// The close check and the field checks, in shown dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>

#include "lib/window/msgbox.h"
#include "lib/window/valid.h"
#include "ui/control.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/metrics.h"
#include "ui/multiget.h"
#include "ui/qt_driver.h"
#include "ui/registry.h"

namespace talvi::lib {
namespace {

using talvi::testing::ClickButton;
using talvi::testing::WhenModal;

struct Var {
  std::string value;
  ui::SetGet accessor() {
    return [this](std::optional<std::string> v) { return v ? (value = *v) : value; };
  }
};

ui::DialogArgs Args() {
  ui::DialogArgs args;
  args.cCaption = "Scheda";
  args.nWidth = 400;
  args.nHeight = 300;
  return args;
}

// Runs `body` inside the shown dialog.
void Shown(ui::TDialog& dialog, const std::function<void()>& body) {
  dialog.bStart = [&] {
    body();
    dialog.bValid = nullptr;
    dialog.End();
  };
  dialog.Activate();
}

// Arms the answer to the next message box; records its text and the
// background of the field it complains about while it is shown.
struct Reported {
  QString text;
  QColor fieldColor;
};
void ArmReport(Reported* seen, QLineEdit* field) {
  WhenModal([=](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    seen->text = box->text();
    if (field != nullptr) seen->fieldColor = field->palette().color(QPalette::Base);
    ClickButton(box, "OK");
  });
}

TEST(ValidTest, BlankDatePassesBadDateFailsInRed) {
  ui::TDialog dialog(Args());
  Var date{"  /  /  "};
  ui::TGet* get = ui::TGet::New(10, 10, date.accessor(), &dialog, 100, 22, "@D");
  Shown(dialog, [&] {
    EXPECT_TRUE(__VALID2(dialog));
    auto* edit = QApplication::activeModalWidget()->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    const QColor before = edit->palette().color(QPalette::Base);
    edit->setText("31/02/24");
    Reported seen;
    ArmReport(&seen, edit);
    EXPECT_FALSE(__VALID2(dialog));
    EXPECT_EQ(seen.text, QString("Data non valida."));
    EXPECT_EQ(seen.fieldColor, QColor(255, 0, 0));
    EXPECT_EQ(edit->palette().color(QPalette::Base), before);
    EXPECT_EQ(ui::FocusedControl(dialog), get);
    edit->setText("29/02/24");
    EXPECT_TRUE(__VALID2(dialog));
    edit->setText("01/03/2024");
    EXPECT_TRUE(__VALID2(dialog));
  });
}

TEST(ValidTest, NumberPictureOwnChecksAndDisabledFields) {
  ui::TDialog dialog(Args());
  Var amount{"999.99"};
  Var code{"X"};
  Var skipped{"99/99/99"};
  ui::TGet::New(10, 10, amount.accessor(), &dialog, 100, 22, "999.99");
  ui::TGet* own = ui::TGet::New(40, 10, code.accessor(), &dialog, 100, 22);
  own->Cargo = [&](ui::TControl&) { return code.value != "X"; };
  ui::TGet* off = ui::TGet::New(70, 10, skipped.accessor(), &dialog, 100, 22, "@D");
  off->bWhen = [] { return false; };
  ui::TSay::New(100, 10, "31/31/31", &dialog);
  Shown(dialog, [&] {
    Reported seen;
    ArmReport(&seen, nullptr);
    EXPECT_FALSE(__VALID2(dialog));
    EXPECT_EQ(seen.text, QString("Campo non valido."));
    code.value = "Y";
    EXPECT_TRUE(__VALID2(dialog));
    auto edits = QApplication::activeModalWidget()->findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 3);
    edits[0]->setText("1000");
    ArmReport(&seen, nullptr);
    EXPECT_FALSE(__VALID2(dialog));
    EXPECT_EQ(seen.text, QString("Numero troppo grande."));
    edits[0]->setText("-99.5");
    EXPECT_TRUE(__VALID2(dialog));
  });
}

TEST(ValidTest, CancelAsksOnlyWhenModified) {
  ui::TDialog dialog(Args());
  Shown(dialog, [&] {
    bool asked = false;
    // A cancelled dialog without changes closes without a question.
    dialog.lModify = false;
    EXPECT_TRUE(__VALID(dialog, false));
    EXPECT_TRUE(__VALID(dialog, true));
    dialog.Cargo = 2;
    EXPECT_TRUE(__VALID(dialog, true));
    dialog.lModify = true;
    EXPECT_TRUE(__VALID(dialog, false));
    QString question;
    bool nestedResult = true;
    WhenModal([&](QWidget* w) {
      asked = true;
      question = qobject_cast<QMessageBox*>(w)->text();
      // A close check started from inside this one is refused.
      nestedResult = __VALID(dialog, false);
      ClickButton(w, "No");
    });
    EXPECT_FALSE(__VALID(dialog, true));
    EXPECT_TRUE(asked);
    EXPECT_EQ(question, QString("Annullo le modifiche?"));
    EXPECT_FALSE(nestedResult);
    WhenModal([](QWidget* w) { ClickButton(w, "Yes"); });
    EXPECT_TRUE(__VALID(dialog, true));
  });
}

TEST(ValidTest, ConfirmChecksEveryFolderPage) {
  ui::TDialog dialog(Args());
  ui::TFolder* folder = ui::TFolder::New(10, 10, {"Uno", "Due"}, &dialog, 300, 200);
  Var a{"01/01/24"};
  Var b{"45/01/24"};
  ui::TGet::New(10, 10, a.accessor(), folder->aDialogs[0].get(), 100, 22, "@D");
  ui::TGet::New(10, 10, b.accessor(), folder->aDialogs[1].get(), 100, 22, "@D");
  EXPECT_EQ(ui::LastDialog(), &dialog);  // pages are not default owners
  Shown(dialog, [&] {
    folder->aDialogs[1]->lModify = true;
    dialog.lModify = false;
    UPDATEMODIFY(dialog);
    EXPECT_TRUE(dialog.lModify);
    RESETMODIFY(*folder);
    EXPECT_FALSE(folder->aDialogs[1]->lModify);

    dialog.Cargo = 1;
    Reported seen;
    ArmReport(&seen, nullptr);
    EXPECT_FALSE(__VALID(dialog, false));
    EXPECT_EQ(seen.text, QString("Data non valida."));
    EXPECT_EQ(folder->nOption, 2);  // left on the page with the bad field
    EXPECT_FALSE(dialog.Cargo.has_value());
    b.value = "15/01/24";
    auto* page2 = folder->aDialogs[1].get();
    dynamic_cast<ui::TGet*>(page2->Controls()[0].get())->Refresh();
    dialog.Cargo = 1;
    EXPECT_TRUE(__VALID(dialog, false));
  });
}

}  // namespace
}  // namespace talvi::lib
