// SPDX-License-Identifier: MIT
// The key probe off X11: keys held in the program's own windows, and the
// test hook.
#include "lib/keys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "os/keystate.h"
#include "ui/app.h"

namespace talvi::lib {
namespace {

TEST(KeysTest, KeysHeldInOwnWindowsAndOverrides) {
  ui::Startup();
  ASSERT_NE(QGuiApplication::platformName(), QString("xcb"));
  QLineEdit field;
  field.show();
  EXPECT_FALSE(GETASYNCKEYSTATE(27));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&field, &press);
  EXPECT_TRUE(GETASYNCKEYSTATE(27));
  EXPECT_FALSE(GETASYNCKEYSTATE(115));
  QKeyEvent f4(QEvent::KeyPress, Qt::Key_F4, Qt::AltModifier);
  QApplication::sendEvent(&field, &f4);
  EXPECT_TRUE(GETASYNCKEYSTATE(115));
  // An auto-repeated release is not a release.
  QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(&field, &repeat);
  EXPECT_TRUE(GETASYNCKEYSTATE(27));
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&field, &release);
  EXPECT_FALSE(GETASYNCKEYSTATE(27));
  os::ClearLocalKeys();
  EXPECT_FALSE(GETASYNCKEYSTATE(115));

  // The hook wins over the keyboard until it is cleared.
  os::SetKeyStateOverride(27, true);
  EXPECT_TRUE(GETASYNCKEYSTATE(27));
  QApplication::sendEvent(&field, &press);
  os::SetKeyStateOverride(27, false);
  EXPECT_FALSE(GETASYNCKEYSTATE(27));
  os::ClearKeyStateOverrides();
  EXPECT_TRUE(GETASYNCKEYSTATE(27));  // the real press shows again
  QApplication::sendEvent(&field, &release);
  EXPECT_FALSE(GETASYNCKEYSTATE(27));
}

}  // namespace
}  // namespace talvi::lib
