// SPDX-License-Identifier: MIT
// The session against the simulated remote over a real pseudo-terminal,
// with the real serial layer and an offscreen dialog pumping the events.
#include "app/transfer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include "app/image_file.h"
#include "app/modal_answers.h"
#include "app/save_image.h"
#include "app/session_rig.h"
#include "support/temp_dir.h"
#include "ui/qt/log_view.h"

namespace talvi::app {
namespace {

using remote::Fault;
using remote::kSideBytes;
using std::chrono::milliseconds;
using testing::SessionRig;

remote::Options Disk(int sides) {
  remote::Options o;
  o.sides = sides;
  o.seed = 11;
  o.ackTimeout = milliseconds(5000);
  return o;
}

std::string Sent(const remote::Options& o) {
  std::string error;
  return *remote::diskData(o, error);
}

std::vector<std::string> Lines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(log.substr(start, end - start));
  }
  EXPECT_EQ(start, log.size()) << "the log ends with a line break";
  return lines;
}

TEST(Session, FullDiskIsSavedAsOneFile) {
  testing::TempFolder dir;
  testing::ModalAnswers answers;
  const auto options = Disk(remote::kFullDiskSides);
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  answers.File(dir / "disk");
  answers.after = [](const auto&) { os::SetKeyStateOverride(os::VK_ESCAPE, true); };
  rig.run();
  EXPECT_TRUE(answers.done());

  const std::string file = testing::ReadBytes(dir / "disk.opd");
  const std::string sent = Sent(options);
  ASSERT_EQ(file.size(), 160u * kSideBytes);
  EXPECT_EQ(file.substr(0, 128), FixedBlock());
  EXPECT_TRUE(file.substr(128) == sent.substr(128)) << "data differs";

  const auto lines = Lines(rig.logText.Get());
  // Esc was held while the file was being saved: no new cycle follows.
  ASSERT_EQ(lines.size(), 1u + 160u);
  EXPECT_EQ(lines[0], kWaitingLine);
  EXPECT_EQ(lines[1], "Receiving track 0, side 0");
  EXPECT_EQ(lines[2], "Receiving track 0, side 1");
  EXPECT_EQ(lines[160], "Receiving track 79, side 1");
  // The window shows the same text.
  EXPECT_EQ(rig.log->GetText(), rig.logText.Get());

  // The remote got exactly one acknowledgement per side.
  rig.remote.stop();
  EXPECT_EQ(rig.remote.wait().fromPc, std::string(160, '\0'));
}

// At the line's own pace the bytes come in small slices, which the port
// gathers into fewer notifications: the sides still arrive whole, each byte
// taken in order, one log line per side.
TEST(Session, SidesAtTheLineRateArriveWhole) {
  auto options = Disk(2);
  options.rate = remote::kLineBytesPerSecond;
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  rig.escAfterSave();
  rig.run();
  ASSERT_EQ(rig.saved.size(), 1u);
  EXPECT_TRUE(rig.saved[0] == Sent(options)) << "data differs";
  const auto lines = Lines(rig.logText.Get());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "Receiving track 0, side 1");
  rig.remote.stop();
  EXPECT_EQ(rig.remote.wait().fromPc, std::string(2, '\0'));
}

TEST(Session, EndWithoutTracksGivesJustTheFixedBlock) {
  testing::TempFolder dir;
  testing::ModalAnswers answers;
  SessionRig rig(Disk(0));
  ASSERT_TRUE(rig.ok());
  answers.File(dir / "empty.opd");
  answers.after = [](const auto&) { os::SetKeyStateOverride(os::VK_ESCAPE, true); };
  rig.run();
  EXPECT_EQ(testing::ReadBytes(dir / "empty.opd"), FixedBlock());
  EXPECT_EQ(Lines(rig.logText.Get()), std::vector<std::string>{kWaitingLine});
}

TEST(Session, TrackBytesAreLoggedAsTrackAndSide) {
  auto options = Disk(0);
  options.trackBytes = {128, 79, 100};
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  rig.escAfterSave();
  rig.run();
  const auto lines = Lines(rig.logText.Get());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "Receiving track 0, side 1");
  EXPECT_EQ(lines[2], "Receiving track 79, side 0");
  EXPECT_EQ(lines[3], "Receiving track -28, side 1");
  ASSERT_EQ(rig.saved.size(), 1u);
  EXPECT_EQ(rig.saved[0], Sent(options));
}

TEST(Session, StrayByteBetweenTracksIsDropped) {
  auto options = Disk(3);
  options.faults = {{Fault::Kind::kStray, 1, 0, 0, 0}, {Fault::Kind::kStray, 2, 0, 0, 'X'}};
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  rig.escAfterSave();
  rig.run();
  ASSERT_EQ(rig.saved.size(), 1u);
  EXPECT_TRUE(rig.saved[0] == Sent(options));
  EXPECT_EQ(Lines(rig.logText.Get()).size(), 1u + 3u);
}

TEST(Session, MissingByteIsWaitedForTwoSecondsThenLeftOut) {
  auto options = Disk(2);
  // The first side ends one byte short; the line then stays silent until the
  // test lets the remote go on.
  options.faults = {{Fault::Kind::kDrop, 0, 1, remote::kUntilResumed, 0}};
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  rig.escAfterSave();
  // While the session waits for the missing byte, the clock is stepped to
  // 10 ms short of the wait's end (the session must wait on), then to its
  // end (the session must give the byte up); only then does the remote go
  // on, so that its next header cannot be taken for the missing byte.
  constexpr milliseconds kWait(kByteWaitCs * 10);
  enum { kBefore, kStarted, kNearlyOver, kOver } phase = kBefore;
  rig.clock.onRead = [&] {
    if (rig.transfer.Image().size() != kSideBytes - 1 || rig.transfer.Pending() != 0) return;
    switch (phase) {
      case kBefore:  // the wait's own start
        phase = kStarted;
        break;
      case kStarted:
        rig.clock.Step(kWait - milliseconds(10));
        phase = kNearlyOver;
        break;
      case kNearlyOver:  // still waiting after the first step
        rig.clock.Step(milliseconds(10));
        rig.remote.resume();
        phase = kOver;
        break;
      case kOver: break;
    }
  };
  // Last resort, should the session stop reading the clock: Esc after 30 s.
  rig.escWhen([] { return false; });
  rig.run();
  EXPECT_EQ(phase, kOver);
  const std::string sent = Sent(options);
  ASSERT_EQ(rig.saved.size(), 1u);
  EXPECT_TRUE(rig.saved[0] == sent.substr(0, kSideBytes - 1) + sent.substr(kSideBytes));
  EXPECT_EQ(Lines(rig.logText.Get()).size(), 1u + 2u);
}

TEST(Session, EarlyHeaderIsTakenAsTrackData) {
  auto options = Disk(2);
  options.ackTimeout = milliseconds(1000);
  // One byte short and no pause: "T" and the track byte of the next side
  // complete the first side, and no acknowledgement follows.
  options.faults = {{Fault::Kind::kDrop, 0, 1, 0, 0}};
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  // Esc once the remote has given up waiting and the side is complete.
  rig.escWhen(
      [&rig] { return rig.remote.finished() && rig.transfer.Image().size() >= kSideBytes; });
  rig.run();
  EXPECT_EQ(rig.transfer.Image(), Sent(options).substr(0, kSideBytes - 1) + "T");
  EXPECT_EQ(rig.remote.wait().outcome, remote::Outcome::kAckTimeout);
}

TEST(Session, EscEndsTheSessionAndTellsTheRemote) {
  auto options = Disk(2);
  options.faults = {{Fault::Kind::kStall, 0, 100, 20000, 0}};
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  // Esc while the remote stalls after its first 100 bytes. The clock stands
  // still, so only Esc can end the remaining waits of the track before the
  // stall is over.
  rig.escWhen([&rig] { return rig.transfer.Image().size() >= 100; });
  rig.run();
  const auto report = rig.remote.wait();
  EXPECT_EQ(report.outcome, remote::Outcome::kAborted);
  EXPECT_EQ(report.fromPc, std::string("\0\x09", 2));
  EXPECT_EQ(rig.transfer.Image().size(), 100u);
  EXPECT_EQ(Lines(rig.logText.Get()).size(), 2u);
}

TEST(Session, EscHeldAtTheStartWritesNothing) {
  SessionRig rig(Disk(1));
  ASSERT_TRUE(rig.ok());
  os::SetKeyStateOverride(os::VK_ESCAPE, true);
  rig.run();
  EXPECT_EQ(rig.logText.Get(), "");
}

TEST(Session, ClosingTheWindowEndsTheSession) {
  auto options = Disk(1);
  options.disks = 0;  // the remote stays silent
  options.linger = milliseconds(20000);
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  QTimer::singleShot(300, [&rig] { rig.dialog->End(); });
  rig.run();
  EXPECT_EQ(rig.dialog->hWnd, 0);
  EXPECT_EQ(Lines(rig.logText.Get()).size(), 1u);
}

TEST(Session, BytesWaitingWhileSavingAreReadAfterwards) {
  auto options = Disk(1);
  options.disks = 2;
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  int saves = 0;
  rig.transfer.save = [&](std::string& image) {
    rig.saved.push_back(image);
    if (++saves == 1) {
      // The second disk's header arrives while the "save dialog" is up (the
      // remote then waits for its acknowledgement); 30 s is a last resort.
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (rig.transfer.Pending() < 2 && std::chrono::steady_clock::now() < giveUp) {
        ui::SYSWAIT(10);
      }
      EXPECT_EQ(rig.transfer.Pending(), 2u);
    } else {
      os::SetKeyStateOverride(os::VK_ESCAPE, true);
    }
  };
  rig.run();
  ASSERT_EQ(rig.saved.size(), 2u);
  EXPECT_EQ(rig.saved[0], Sent(options));
  EXPECT_EQ(rig.saved[1], Sent(options));
}

// Disk after disk, each saved through the real file chooser: what a session
// keeps grows by its log lines alone. No window or object outlives the save
// step that made it, the log's editor keeps one block per line and no undo
// steps, and nothing received waits behind.
TEST(Session, DiskAfterDiskLeavesNothingBehindButTheLogLines) {
  testing::TempFolder dir;
  testing::ModalAnswers answers;
  auto options = Disk(2);
  options.disks = 6;
  SessionRig rig(options);
  ASSERT_TRUE(rig.ok());
  const std::string file = dir / "disk.opd";
  answers.File(file);
  for (int i = 1; i < options.disks; ++i) {
    answers.File(file);  // replaces the file, after the question
    answers.Ok();
  }
  std::vector<std::size_t> widgets;
  std::vector<std::size_t> objects;
  rig.transfer.save = [&](std::string& image) {
    // Counted before this disk's save, the previous disk's chooser gone.
    ui::SYSREFRESH();
    widgets.push_back(static_cast<std::size_t>(QApplication::allWidgets().size()));
    objects.push_back(
        static_cast<std::size_t>(QCoreApplication::instance()->findChildren<QObject*>().size()));
    SAVE(image);
    if (widgets.size() == static_cast<std::size_t>(options.disks)) {
      os::SetKeyStateOverride(os::VK_ESCAPE, true);
    }
  };
  rig.run();
  EXPECT_TRUE(answers.done());
  ASSERT_EQ(widgets.size(), 6u);
  // The first chooser and the first overwrite question (the second disk's)
  // may leave what Qt keeps for the life of the program; from then on the
  // counts stay.
  for (std::size_t disk = 3; disk < widgets.size(); ++disk) {
    EXPECT_EQ(widgets[disk], widgets[2]) << "widgets left behind before disk " << disk + 1;
    EXPECT_EQ(objects[disk], objects[2]) << "objects left behind before disk " << disk + 1;
  }
  EXPECT_EQ(testing::ReadBytes(dir / "disk.opd").size(), 2u * kSideBytes);
  EXPECT_EQ(rig.transfer.Pending(), 0u);
  // Six disks of a "Waiting" line and two sides each.
  EXPECT_EQ(Lines(rig.logText.Get()).size(), 18u);
  const ui::qt::LogView* view = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    for (QWidget* child : top->findChildren<QWidget*>()) {
      if (view == nullptr) view = dynamic_cast<ui::qt::LogView*>(child);
    }
  }
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->LineCount(), 19u);
}

}  // namespace
}  // namespace talvi::app
