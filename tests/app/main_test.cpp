// SPDX-License-Identifier: MIT
// The entry routine: settings file, title, the window with its close guard,
// a disk received and saved, and the port released when the window closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <filesystem>

#include "app/image_file.h"
#include "app/modal_answers.h"
#include "app/talvi.h"
#include "app/transfer.h"
#include "fs/profile.h"
#include "os/keystate.h"
#include "remote/remote.h"
#include "support/temp_dir.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "ui/registry.h"

namespace talvi::app {
namespace {

using std::chrono::milliseconds;
using testing::ModalAnswers;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::string Porta() {
  return fs::GETPVPROFSTRING(std::string("Impostazioni"), std::string("Porta"), std::string("?"),
                             ".\\TALVI.INI");
}

TEST(Settings, MissingFileGivesCom1AndCreatesIt) {
  TempFolder dir;
  EXPECT_EQ(ReadPortName(), "COM1");
  EXPECT_TRUE(std::filesystem::exists(dir / "TALVI.INI"));
  EXPECT_EQ(Porta(), "COM1");
  EXPECT_EQ(Title("COM1"), "TALVI 1.01 (COM1:57600,N,8,1)");
}

TEST(Settings, BlankPortIsReplacedOtherValuesKept) {
  TempFolder dir;
  WriteBytes(dir / "TALVI.INI", "[Impostazioni]\r\nPorta=   \r\n");
  EXPECT_EQ(ReadPortName(), "COM1");
  EXPECT_EQ(Porta(), "COM1");

  WriteBytes(dir / "TALVI.INI", "[Impostazioni]\r\nPorta=COM12\r\n");
  EXPECT_EQ(ReadPortName(), "COM12");
  EXPECT_EQ(ReadBytes(dir / "TALVI.INI"), "[Impostazioni]\r\nPorta=COM12\r\n");
  EXPECT_EQ(Title("COM12"), "TALVI 1.01 (COM12:57600,N,8,1)");
}

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Startup();
    os::ClearKeyStateOverrides();
  }
  void TearDown() override { os::ClearKeyStateOverrides(); }
  void SetPort(const std::string& port) {
    fs::WRITEPPROSTRING(std::string("Impostazioni"), std::string("Porta"), port, ".\\TALVI.INI");
  }
  TempFolder dir;
  ModalAnswers answers;
};

TEST_F(MainTest, PortThatCannotOpenIsReportedAndTheWindowCloses) {
  SetPort("/nonexistent/tty");
  std::string caption;
  answers.Ok();
  answers.after = [&caption](const auto&) {
    if (ui::LastDialog() != nullptr) caption = ui::LastDialog()->cCaption;
  };
  MAIN();
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text,
            "Errore di apertura della porta di comunicazione (/nonexistent/tty).");
  EXPECT_EQ(caption, "TALVI 1.01 (/nonexistent/tty:57600,N,8,1)");
}

// F4 held down while the port fails to open: the window still closes at
// once and no session starts on a port that is not there.
TEST_F(MainTest, PortThatCannotOpenClosesTheWindowEvenWithF4Held) {
  SetPort("/nonexistent/tty");
  os::SetKeyStateOverride(os::VK_F4, true);
  answers.Ok();
  bool windowShown = false;
  bool sessionRan = false;
  // Finds the transfer window only when it has stayed: notes what it shows,
  // lets go of F4 and closes it, so that MAIN returns.
  QTimer rescue;
  QObject::connect(&rescue, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible() || !w->windowTitle().startsWith("TALVI 1.01")) continue;
      windowShown = true;
      ui::TDialog* dlg = ui::LastDialog();
      if (dlg == nullptr) return;
      if (auto* log = dynamic_cast<ui::TMultiGet*>(dlg->oClient)) {
        sessionRan = log->GetText().find(kWaitingLine) != std::string::npos;
      }
      os::SetKeyStateOverride(os::VK_F4, false);
      dlg->End();
      return;
    }
  });
  rescue.start(100);
  MAIN();
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text,
            "Errore di apertura della porta di comunicazione (/nonexistent/tty).");
  EXPECT_FALSE(windowShown);
  EXPECT_FALSE(sessionRan);
}

TEST_F(MainTest, ReceivesADiskRefusesAltF4AndReleasesThePortOnClose) {
  remote::Options options;
  options.sides = 4;
  options.seed = 3;
  options.linger = milliseconds(30000);
  remote::RemoteThread remote(options);
  ASSERT_TRUE(remote.ok());
  SetPort(remote.portPath());
  remote.start();

  answers.File(dir / "first");
  bool refused = false;
  bool closed = false;
  std::string caption;
  int width = 0;
  int height = 0;
  answers.after = [&](const auto&) {
    // Back in the session after saving: try to close with F4 held, then
    // without.
    QTimer::singleShot(200, [&] {
      ui::TDialog* dlg = ui::LastDialog();
      if (dlg == nullptr) return;
      caption = dlg->cCaption;
      if (dlg->oClient != nullptr && dlg->oClient->ClassName() == "TMULTIGET") {
        width = dlg->Width();
        height = dlg->Height();
      }
      os::SetKeyStateOverride(os::VK_F4, true);
      refused = !dlg->End();
      os::SetKeyStateOverride(os::VK_F4, false);
      closed = dlg->End();
    });
  };
  MAIN();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(closed);
  EXPECT_EQ(caption, "TALVI 1.01 (" + remote.portPath() + ":57600,N,8,1)");
  // The log is the client control of a 500 x 500 window.
  EXPECT_EQ(width, 500);
  EXPECT_EQ(height, 500);

  std::string error;
  const std::string sent = *remote::diskData(options, error);
  EXPECT_EQ(ReadBytes(dir / "first.opd"), FixedBlock() + sent.substr(128));
  // The program has closed its end: the remote sees the hang-up at once.
  const auto report = remote.wait();
  EXPECT_EQ(report.outcome, remote::Outcome::kHangUp);
  EXPECT_EQ(report.disks, 1);
}

}  // namespace
}  // namespace talvi::app
