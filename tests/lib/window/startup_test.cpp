// SPDX-License-Identifier: MIT
// Start-up defaults, access-control variables, the user state, CLOSEALL
// and the shut-down, and the error handler that start-up puts in force.
#include "lib/window/startup.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "errors/error.h"
#include "errors/errorsys.h"
#include "lib/date.h"
#include "lib/settings.h"
#include "lib/settings_vars.h"
#include "lib/user.h"
#include "startup_fixture.h"

namespace talvi::lib {
namespace {

using testing::WriteFile;
namespace fs = std::filesystem;

const std::string M(1, kTempMarker);

TEST(Settings, LibraryDefaultsReplaceTheRunTimeOnes) {
  Settings s;
  EXPECT_EQ(s.DefaultDriver(), "DBFNTX");
  EXPECT_EQ(s.DateFormat(), "mm/dd/yy");
  s.ApplyDefaults();
  EXPECT_EQ(s.DefaultDriver(), "DBFCDX");
  EXPECT_EQ(s.LockScheme(), 4);
  EXPECT_EQ(s.LockOffset(), 4'000'000'000u);
  EXPECT_EQ(s.LockLength(), 294'967'295u);
  EXPECT_EQ(s.LockOffset() + s.LockLength(), 0xFFFF'FFFFu);  // within 32-bit offsets
  EXPECT_EQ(s.MemoExtension(), ".DBT");
  EXPECT_TRUE(s.Century());
  EXPECT_TRUE(s.Confirm());
  EXPECT_EQ(s.DateFormat(), "dd/mm/yyyy");
  EXPECT_TRUE(s.Deleted());
  EXPECT_EQ(s.Epoch(), 1980);
  EXPECT_EQ(s.FileNameCase(), FileCase::kUpper);
  EXPECT_EQ(s.Margin(), 5);
}

TEST(Settings, DatesReadUnderTheDefaults) {
  Settings s;
  s.ApplyDefaults();
  EXPECT_EQ(CTOD("1/2/85", s.DateFormat(), s.Epoch()), Date(1985, 2, 1));
  EXPECT_EQ(CTOD("01/02/79", s.DateFormat(), s.Epoch()), Date(2079, 2, 1));
  EXPECT_EQ(CTOD("31/12/80", s.DateFormat(), s.Epoch()), Date(1980, 12, 31));
  EXPECT_EQ(DTOC(Date(2079, 2, 1), s.DateFormat()), "01/02/2079");
}

// CTOD and DTOC without a format or epoch follow the settings in force: the
// run-time's own until the library starts, the library's from then on.
using DatesInForce = testing::StartupFolders;
TEST_F(DatesInForce, FollowTheStartUp) {
  LibSettings() = Settings();
  EXPECT_EQ(CTOD("01/02/03"), Date(1903, 1, 2));
  EXPECT_EQ(DTOC(Date(2003, 2, 1)), "02/01/03");
  Startup();
  EXPECT_EQ(CTOD("01/02/03"), Date(2003, 2, 1));
  EXPECT_EQ(CTOD("01/02/79"), Date(2079, 2, 1));
  EXPECT_EQ(DTOC(Date(2003, 2, 1)), "01/02/2003");
  Shutdown();
}

TEST(Settings, FileCaseAppliesToTheFileNameOnly) {
  Settings s;
  EXPECT_EQ(s.ApplyFileCase("/tmp/Dati/Disco1.opd"), "/tmp/Dati/Disco1.opd");  // mixed
  s.ApplyDefaults();
  EXPECT_EQ(s.ApplyFileCase("/tmp/Dati/Disco1.opd"), "/tmp/Dati/DISCO1.OPD");
  EXPECT_EQ(s.ApplyFileCase("c:\\Dati\\clienti.dbf"), "c:\\Dati\\CLIENTI.DBF");
  EXPECT_EQ(s.ApplyFileCase("talvi.ini"), "TALVI.INI");
  EXPECT_EQ(s.ApplyFileCase("\xE0.txt"), "\xE0.TXT");  // only ASCII letters change
  s.SetFileNameCase(FileCase::kLower);
  EXPECT_EQ(s.ApplyFileCase("A/B/TALVI.INI"), "A/B/talvi.ini");
  ASSERT_TRUE(ParseFileCase("mixed"));
  s.SetFileNameCase(*ParseFileCase("mixed"));
  EXPECT_EQ(s.ApplyFileCase("A/B/Talvi.Ini"), "A/B/Talvi.Ini");
  EXPECT_EQ(ParseFileCase("UPPER"), FileCase::kUpper);
  EXPECT_EQ(ParseFileCase("Lower"), FileCase::kLower);
  EXPECT_FALSE(ParseFileCase("TITLE"));
}

// The values a fresh process starts with, checked in a child process of
// its own so that no other test's changes can interfere.
TEST(UserStateDeathTest, InitialValuesAndSetters) {
  EXPECT_EXIT(
      {
        bool ok = SETUSER() == "        " && !SETHUSER() && SETTEMP().empty() && !IsUserSignedIn();
        ok = ok && SETUSER("MARIO   ") == "MARIO   " && SETUSER() == "MARIO   " &&
             IsUserSignedIn() && SETHUSER(7) == 7 && SETHUSER() == 7 &&
             SETTEMP("/tmp/s/") == "/tmp/s/" && SETTEMP() == "/tmp/s/";
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

class Lifecycle : public testing::StartupFolders {
 protected:
  void SetUp() override {
    StartupFolders::SetUp();
    Startup();
    saved_box_ = errors::SetMessageBoxHook([this](const std::string& text, int type) {
      events_.push_back("box" + std::to_string(type) + ":" + text);
      return false;
    });
  }
  void TearDown() override {
    errors::SetMessageBoxHook(saved_box_);
    SETUSER("        ");
    SETTEMP("");
    SetSystemLockRelease({});
    unsetenv("TALVI_NET_DIR");
    StartupFolders::TearDown();
  }
  std::vector<std::string> events_;

 private:
  errors::MessageBoxHook saved_box_;
};

TEST_F(Lifecycle, StartupSetsDefaultsAndAccessVariables) {
  EXPECT_EQ(LibSettings().DefaultDriver(), "DBFCDX");
  EXPECT_EQ(LibSettings().FileNameCase(), FileCase::kUpper);
  EXPECT_EQ(GetVarAs<std::string>("ACS_USER"), "USER");
  EXPECT_EQ(GetVarAs<std::string>("ACS_TEMP"), "");
  EXPECT_EQ(GetVarAs<std::string>("ACS_PASSWD"), "");
  EXPECT_EQ(GetVarAs<std::int64_t>("acs_level"), 1);  // names in any letter case
  EXPECT_FALSE(GetVarAs<std::int64_t>("ACS_USER"));   // holds a text
}

TEST_F(Lifecycle, StartupPutsTheErrorHandlerInForce) {
  errors::Error division;
  division.GENCODE = 5;
  EXPECT_EQ(errors::Raise(division), errors::Answer::Value(0));

  // A message is preceded by the release of the system lock, which only
  // happens while a user is signed in.
  SetSystemLockRelease([this] { events_.push_back("release"); });
  errors::Error missing;
  missing.OSCODE = 2;
  missing.FILENAME = "dati.dbf";
  EXPECT_FALSE(errors::RecoveryPoint([&] { errors::Raise(missing); }));
  SETUSER("MARIO   ");
  EXPECT_FALSE(errors::RecoveryPoint([&] { errors::Raise(missing); }));
  EXPECT_EQ(events_,
            (std::vector<std::string>{"box1:Impossibile aprire il file DATI.DBF.", "release",
                                      "box1:Impossibile aprire il file DATI.DBF."}));
}

TEST_F(Lifecycle, CloseAllClosesTablesThenErasesViewIndexes) {
  // Registered steps stay for the life of the process: this one keeps its
  // record in static storage.
  static std::vector<std::string> trail;
  static fs::path probe;
  probe = work_ / (M + "VIEW1.NTX");
  OnCloseAll([] { trail.push_back(fs::exists(probe) ? "tables" : "late"); });
  const std::vector<std::string> erased = {"VIEW1.NTX", "view22.ntx", "VIEW.NTX", "VIEWX.Y.NTX"};
  const std::vector<std::string> kept = {"VIEW1.CDX", "VIEW1.NTX.BAK", "VIE.NTX", "XVIEW1.NTX"};
  for (const auto& name : erased) WriteFile(work_ / (M + name));
  for (const auto& name : kept) WriteFile(work_ / (M + name));
  WriteFile(work_ / "VIEW1.NTX");

  CLOSEALL();  // working folder "": the current folder
  EXPECT_EQ(trail, std::vector<std::string>{"tables"});
  for (const auto& name : erased) EXPECT_FALSE(fs::exists(work_ / (M + name))) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(work_ / (M + name))) << name;
  EXPECT_TRUE(fs::exists(work_ / "VIEW1.NTX"));

  // With a working folder set, that folder is the one cleaned.
  fs::create_directory(temp_ / "S");
  WriteFile(temp_ / "S" / (M + "VIEW2.NTX"));
  WriteFile(work_ / (M + "VIEW2.NTX"));
  SETTEMP((temp_ / "S").string() + "/");
  CLOSEALL();
  EXPECT_FALSE(fs::exists(temp_ / "S" / (M + "VIEW2.NTX")));
  EXPECT_TRUE(fs::exists(work_ / (M + "VIEW2.NTX")));
}

TEST_F(Lifecycle, ShutdownWithoutUserTouchesOnlyViewIndexes) {
  const fs::path session = temp_ / "SESSION";
  fs::create_directory(session);
  WriteFile(session / "USER");
  WriteFile(session / (M + "VIEW1.NTX"));
  WriteFile(work_ / "        .USR");
  WriteFile(work_ / "USER.USR");
  setenv("TALVI_NET_DIR", root_.c_str(), 1);  // a networked installation
  SETTEMP(session.string() + "/");

  Shutdown();
  EXPECT_FALSE(fs::exists(session / (M + "VIEW1.NTX")));
  EXPECT_TRUE(fs::exists(session / "USER"));
  EXPECT_TRUE(fs::exists(work_ / "        .USR"));
  EXPECT_TRUE(fs::exists(work_ / "USER.USR"));
}

TEST_F(Lifecycle, ShutdownEndsTheUserSession) {
  const fs::path session = temp_ / (M + "SESS01");  // a leftover for the next start-up too
  fs::create_directory(session);
  WriteFile(session / "USER");
  WriteFile(session / "A.DBF");
  WriteFile(work_ / "MARIO.USR");
  WriteFile(work_ / "ANNA.USR");
  const int presence = open((session / "USER").c_str(), O_RDONLY);
  ASSERT_GE(presence, 0);
  SETUSER("MARIO   ");
  SETHUSER(presence);
  SETTEMP(session.string() + "/");
  setenv("TALVI_NET_DIR", root_.c_str(), 1);

  Shutdown();
  EXPECT_EQ(fcntl(presence, F_GETFD), -1);  // the presence file is closed
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(fs::exists(session));
  EXPECT_FALSE(fs::exists(work_ / "MARIO.USR"));
  EXPECT_TRUE(fs::exists(work_ / "ANNA.USR"));

  Shutdown();  // once per start-up: a second call does nothing
}

TEST_F(Lifecycle, ShutdownKeepsTheUserFileOutsideANetwork) {
  WriteFile(work_ / "MARIO.USR");
  SETUSER("MARIO   ");
  setenv("TALVI_NET_DIR", (root_ / "absent").c_str(), 1);
  Shutdown();
  EXPECT_TRUE(fs::exists(work_ / "MARIO.USR"));
}

// A user whose working folder was never set must not have the current
// folder (the program's own files) emptied in its place.
TEST_F(Lifecycle, ShutdownNeverEmptiesTheCurrentFolder) {
  WriteFile(work_ / "TALVI.INI");
  WriteFile(work_ / "disco.opd");
  SETUSER("MARIO   ");
  Shutdown();
  EXPECT_TRUE(fs::exists(work_ / "TALVI.INI"));
  EXPECT_TRUE(fs::exists(work_ / "disco.opd"));
}

// The quit after an unexpected error runs the library's shut-down.
TEST_F(Lifecycle, QuitRunsTheShutdown) {
  WriteFile(work_ / (M + "VIEW1.NTX"));
  EXPECT_EXIT(errors::OrderlyQuit(0), ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(fs::exists(work_ / (M + "VIEW1.NTX")));
}

}  // namespace
}  // namespace talvi::lib
