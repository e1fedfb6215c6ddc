// SPDX-License-Identifier: MIT
// The wait box: opened, updated and closed through POPMSG and TMsgBox; its
// owner disabled meanwhile; Esc and Alt+F4 refused; the bar's end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "lib/window/msgbox.h"
#include "os/keystate.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/qt_driver.h"

namespace talvi::lib {
namespace {

using talvi::testing::PressKey;

// The visible top-level window titled `title`, or nullptr.
QWidget* TopLevel(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->windowTitle() == title) return w;
  }
  return nullptr;
}

// Runs `body` inside a shown main window, as the application does.
void InMainWindow(const std::function<void(ui::TDialog&)>& body) {
  ui::DialogArgs args;
  args.cCaption = "Principale";
  args.nWidth = 400;
  args.nHeight = 300;
  ui::TDialog dialog(args);
  dialog.bStart = [&] {
    body(dialog);
    dialog.End();
  };
  dialog.Activate();
}

TEST(WaitBoxTest, OwnerDisabledWhileOpenAndTypeOneClosesIt) {
  InMainWindow([](ui::TDialog& main) {
    ASSERT_TRUE(main.IsEnabled());
    POPMSG("Ricezione in corso;attendere");
    QWidget* box = TopLevel("Attendere");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(CURMSG(), std::optional<std::string>("Ricezione in corso\r\nattendere"));
    EXPECT_FALSE(main.IsEnabled());
    EXPECT_EQ(box->cursor().shape(), Qt::WaitCursor);
    EXPECT_FALSE(box->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    auto* label = box->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(label, nullptr);
    // A message with a type closes the wait box first.
    talvi::testing::WhenModal([](QWidget* w) { talvi::testing::ClickButton(w, "OK"); });
    POPMSG("Fatto", 1);
    EXPECT_EQ(TopLevel("Attendere"), nullptr);
    EXPECT_EQ(CURMSG(), std::nullopt);
    EXPECT_TRUE(main.IsEnabled());
  });
}

TEST(WaitBoxTest, EscAndAltF4LeaveItOpen) {
  InMainWindow([](ui::TDialog&) {
    POPMSG("Attendere prego", {}, "Copia");
    QWidget* box = TopLevel("Copia");
    ASSERT_NE(box, nullptr);
    PressKey(box, Qt::Key_Escape);
    ui::SYSREFRESH();
    EXPECT_TRUE(box->isVisible());
    // Alt+F4 reaches the window as a close request while F4 is down.
    os::SetKeyStateOverride(os::VK_F4, true);
    box->close();
    ui::SYSREFRESH();
    os::ClearKeyStateOverrides();
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(TopLevel("Copia"), box);
    POPMSG();  // no arguments: closes it
    EXPECT_EQ(TopLevel("Copia"), nullptr);
  });
}

TEST(WaitBoxTest, TextReplacedAndBarMovedThroughPopMsg) {
  InMainWindow([](ui::TDialog&) {
    POPMSG("Traccia 1", {}, {}, false, 0, 80);
    QWidget* box = TopLevel("Attendere");
    ASSERT_NE(box, nullptr);
    auto* bar = box->findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    const QSize size = box->size();
    POPMSG("Traccia 2 con un testo molto piu' lungo del primo", {}, {}, true);
    // A position moves the bar; the text given with it is not shown.
    POPMSG("ignorato", {}, {}, false, {}, {}, 40);
    EXPECT_EQ(bar->value(), 40);
    EXPECT_EQ(box->size(), size);  // the box keeps its size
    bool found = false;
    for (auto* label : box->findChildren<QLabel*>()) {
      found = found || label->text().startsWith("Traccia 2");
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(CURMSG(), std::optional<std::string>("Traccia 1"));
    // Without a text (and without the page flags) the box closes.
    POPMSG({}, {}, {}, false, {}, {}, 50);
    EXPECT_EQ(TopLevel("Attendere"), nullptr);
  });
}

// Closing the box lets waiting messages through while its owner comes back;
// a handler that runs there may close the box again, or open a new one.
TEST(WaitBoxTest, HandlersRunWhileTheBoxClosesMayCloseOrOpenOne) {
  InMainWindow([](ui::TDialog& main) {
    POPMSG("Copia in corso", {}, "Prima");
    ASSERT_NE(TopLevel("Prima"), nullptr);
    ASSERT_FALSE(main.IsEnabled());
    int ran = 0;
    QMetaObject::invokeMethod(
        qApp,
        [&ran] {
          ++ran;
          POPMSG();
        },
        Qt::QueuedConnection);
    POPMSG();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(TopLevel("Prima"), nullptr);
    EXPECT_EQ(CURMSG(), std::nullopt);
    EXPECT_TRUE(main.IsEnabled());

    POPMSG("Copia in corso", {}, "Prima");
    QMetaObject::invokeMethod(
        qApp,
        [&ran] {
          ++ran;
          POPMSG("Ancora un momento", {}, "Seconda");
        },
        Qt::QueuedConnection);
    POPMSG();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(TopLevel("Prima"), nullptr);
    EXPECT_NE(TopLevel("Seconda"), nullptr);
    EXPECT_EQ(CURMSG(), std::optional<std::string>("Ancora un momento"));
    POPMSG();
    EXPECT_EQ(TopLevel("Seconda"), nullptr);
    EXPECT_EQ(CURMSG(), std::nullopt);
  });
}

TEST(WaitBoxTest, SetPosAtMaximumFillsTheBar) {
  auto box = TMsgBox::New("Copia dei file", std::nullopt, 0, 10);
  ASSERT_NE(box->oPrg, nullptr);
  QWidget* window = TopLevel("Attendere");
  ASSERT_NE(window, nullptr);
  auto* bar = window->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  box->SetPos(3);
  EXPECT_EQ(bar->value(), 3);
  box->SetPos(10);
  EXPECT_EQ(bar->value(), 10);
  EXPECT_EQ(bar->maximum(), 10);
  EXPECT_EQ(bar->minimum(), 0);
  // Layout: the bar across the bottom of the box.
  EXPECT_EQ(bar->geometry().left(), 15);
  EXPECT_EQ(bar->width(), window->width() - 35);
  EXPECT_EQ(bar->height(), 20);
  box->End();
  EXPECT_EQ(box->oDlg, nullptr);
}

TEST(WaitBoxTest, PrintStyleCountsPages) {
  POPMSG({}, {}, {}, false, {}, {}, {}, true);
  QWidget* box = TopLevel("Attendere");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(CURMSG(), std::nullopt);
  // The printer picture is drawn (outline, casing), the stop button is cut
  // off with the bottom of the box and hidden.
  bool printer = false;
  for (auto* label : box->findChildren<QLabel*>()) {
    const QImage image = label->pixmap().toImage();
    if (image.isNull()) continue;
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixel(8, 1), 0xFF000000u);
    EXPECT_EQ(image.pixel(10, 12), 0xFFC0C0C0u);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    printer = label->isVisible();
  }
  EXPECT_TRUE(printer);
  for (auto* button : box->findChildren<QPushButton*>()) EXPECT_FALSE(button->isVisible());
  EXPECT_LT(box->height(), 130);
  POPMSG({}, {}, {}, false, {}, {}, {}, false, true);
  POPMSG({}, {}, {}, false, {}, {}, {}, false, true);
  bool three = false;
  for (auto* label : box->findChildren<QLabel*>()) three = three || label->text() == "3";
  EXPECT_TRUE(three);
  POPMSG();
  EXPECT_EQ(TopLevel("Attendere"), nullptr);
}

}  // namespace
}  // namespace talvi::lib
