// SPDX-License-Identifier: MIT
// The program as main runs it: the window layer and the library started,
// the entry routine inside the outermost recovery point, the shut-downs.
// Entry routines of the tests' own stand in for MAIN.
#include "app/program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/modal_answers.h"
#include "errors/error.h"
#include "errors/errorsys.h"
#include "fs/files.h"
#include "fs/tree.h"
#include "support/temp_dir.h"
#include "ui/app.h"

namespace talvi::app {
namespace {

using testing::ModalAnswers;
using testing::TempFolder;
using testing::WriteBytes;
namespace sfs = std::filesystem;

// A private working folder that is also TEMP, so that the start-up's sweep
// of leftovers looks nowhere else.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("TEMP", dir.path().c_str(), 1); }

  int Run(const std::function<void()>& entry) {
    int argc = 1;
    char name[] = "talvi";
    char* argv[] = {name, nullptr};
    return RunProgram(argc, argv, entry);
  }

  TempFolder dir;
};

// Posts `flag = true` to the window thread's queue: it is set only when
// something lets the waiting events through.
void PostSetting(bool& flag) {
  QMetaObject::invokeMethod(
      qApp, [&flag] { flag = true; }, Qt::QueuedConnection);
}

TEST_F(ProgramTest, FileHelpersTellTheUserAndKeepWindowsAliveFromStartUp) {
  const std::string src = dir / "src";
  const std::string dst = dir / "dst";
  sfs::create_directory(src);
  sfs::create_directory(dst);
  WriteBytes(src + "/a.txt", std::string(100000, 'a'));
  sfs::create_directory(dir / "gone");
  WriteBytes(dir / "gone/b.txt", "b");

  bool pumpedByCopy = false;
  bool pumpedByDelete = false;
  std::vector<ModalAnswers::Seen> seen;
  const int code = Run([&] {
    ModalAnswers answers;
    answers.Ok();
    answers.after = [&seen](const ModalAnswers::Seen& box) { seen.push_back(box); };

    PostSetting(pumpedByCopy);
    EXPECT_TRUE(fs::COPYFILE(src + "/a.txt", dst + "/a.txt"));
    EXPECT_TRUE(pumpedByCopy);

    PostSetting(pumpedByDelete);
    EXPECT_TRUE(fs::DELETEDIR(dir / "gone"));
    EXPECT_TRUE(pumpedByDelete);
    EXPECT_FALSE(sfs::exists(dir / "gone"));

    // The destination exists: the Italian box, answered like a user would.
    EXPECT_FALSE(fs::COPYDIR(src, dst));
  });
  EXPECT_EQ(code, 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(seen[0].chooser);
  EXPECT_EQ(seen[0].title, "Attenzione");
  EXPECT_EQ(seen[0].text, "Impossibile creare la cartella " + dst + ".");
}

TEST_F(ProgramTest, AnErrorAbandonedInTheEntryRoutineEndsTheRunInOrder) {
  const std::string view = dir / "\x7FVIEW1.NTX";
  std::vector<ModalAnswers::Seen> seen;
  bool carriedOn = false;
  const int code = Run([&] {
    ModalAnswers answers;
    answers.Ok();
    answers.after = [&seen](const ModalAnswers::Seen& box) { seen.push_back(box); };
    // A view index left by this run: the shut-down's CLOSEALL erases it.
    WriteBytes(view, "x");
    errors::Error missing;
    missing.OSCODE = 2;
    missing.FILENAME = "dati.dbf";
    errors::Raise(missing);
    carriedOn = true;
  });
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(carriedOn);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Impossibile aprire il file DATI.DBF.");
  EXPECT_FALSE(sfs::exists(view));
}

// The real quit, in a process of its own: the report's question answered
// Cancel, the quit message posted, then the orderly quit (the library's
// shut-down among its steps) ends the process with code 0.
TEST_F(ProgramTest, UnexpectedErrorPostsTheQuitMessageBeforeTheOrderlyQuit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const sfs::path root = dir.path();
        Run([root] {
          // Runs after the library's shut-down, the first step of the quit;
          // the process ends without this test's clean-up, so it tidies up.
          errors::OnQuit([root] {
            std::fputs(ui::SYSREFRESH() ? "[no quit message]" : "[quit message]", stderr);
            std::error_code ec;
            sfs::current_path(root.parent_path(), ec);
            sfs::remove_all(root, ec);
          });
          ModalAnswers answers;
          answers.Cancel();
          errors::Error odd;
          odd.GENCODE = 99;
          errors::Raise(odd);
        });
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "\\[quit message\\]");
}

}  // namespace
}  // namespace talvi::app
