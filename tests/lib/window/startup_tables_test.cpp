// SPDX-License-Identifier: MIT
// CLOSEALL and the table engine: every table closed, area 1 selected.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/areas.h"
#include "dbf/settings.h"
#include "errors/error.h"
#include "lib/settings.h"
#include "lib/window/startup.h"
#include "startup_fixture.h"
#include "support/temp_dir.h"

namespace talvi::lib {
namespace {

TEST(CloseAllTables, ClosesEveryTableAndSelectsAreaOne) {
  talvi::testing::TempFolder dir;
  errors::Handler old =
      errors::SetHandler([](const errors::Error&) { return errors::Answer::Default(); });
  ASSERT_TRUE(dbf::Table::Create(dir / "ONE.DBF", {{"A", 'C', 2, 0}}));
  dbf::Areas& w = dbf::Workspace();
  ASSERT_TRUE(w.Select(3));
  ASSERT_TRUE(w.Use(dir / "ONE.DBF", "ONE", {.shared = true}));
  ASSERT_TRUE(w.Select(dbf::kSystemLockArea));
  ASSERT_TRUE(w.Use(dir / "ONE.DBF", "NETLOCK", {.shared = true}));
  ASSERT_TRUE(w.Current().RLock(1) || w.Current().RecCount() == 0);
  CLOSEALL();
  EXPECT_EQ(w.CurrentNumber(), 1);
  EXPECT_EQ(w.Alias(3), "");
  EXPECT_EQ(w.Alias(dbf::kSystemLockArea), "");
  // The files are really closed: an exclusive open succeeds.
  dbf::WorkArea alone(1);
  EXPECT_TRUE(alone.Use(dir / "ONE.DBF", "X", {.shared = false}));
  errors::SetHandler(std::move(old));
}

// The engine keeps its own copy of the data layer's settings: start-up
// gives it the library's defaults, and a later change of the file-name case
// reaches the tables it creates.
using EngineSettingsFollow = testing::StartupFolders;
TEST_F(EngineSettingsFollow, TheLibrary) {
  const dbf::EngineSettings saved = dbf::Engine();
  LibSettings() = Settings();
  dbf::Engine().deleted = false;
  dbf::Engine().date_format = "mm/dd/yy";
  dbf::Engine().epoch = 1900;
  dbf::Engine().file_case = dbf::NameCase::kMixed;
  dbf::Engine().lock_offset = 1'000'000'000;
  Startup();
  const dbf::EngineSettings& e = dbf::Engine();
  EXPECT_EQ(e.driver, "DBFCDX");
  EXPECT_EQ(e.lock_scheme, 4);
  EXPECT_EQ(e.lock_offset, 4'000'000'000u);
  EXPECT_EQ(e.lock_length, 294'967'295u);
  EXPECT_EQ(e.memo_extension, ".DBT");
  EXPECT_TRUE(e.century);
  EXPECT_EQ(e.date_format, "dd/mm/yyyy");
  EXPECT_TRUE(e.deleted);
  EXPECT_EQ(e.epoch, 1980);
  EXPECT_EQ(e.file_case, dbf::NameCase::kUpper);

  LibSettings().SetFileNameCase(FileCase::kLower);
  EXPECT_EQ(e.file_case, dbf::NameCase::kLower);
  errors::Handler old =
      errors::SetHandler([](const errors::Error&) { return errors::Answer::Default(); });
  ASSERT_TRUE(dbf::Table::Create("Mixed.Dbf", {{"A", 'C', 2, 0}}));
  errors::SetHandler(std::move(old));
  EXPECT_TRUE(std::filesystem::exists("mixed.dbf"));
  EXPECT_FALSE(std::filesystem::exists("Mixed.Dbf"));
  Shutdown();
  LibSettings() = Settings();
  dbf::Engine() = saved;
}

}  // namespace
}  // namespace talvi::lib
