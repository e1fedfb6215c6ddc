// SPDX-License-Identifier: MIT
// CLOSEALL and the table engine: every table closed, area 1 selected.
#include <gtest/gtest.h>

#include "dbf/areas.h"
#include "errors/error.h"
#include "lib/window/startup.h"
#include "support/temp_dir.h"

namespace talvi::lib {
namespace {

TEST(CloseAllTables, ClosesEveryTableAndSelectsAreaOne) {
  testing::TempFolder dir;
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

}  // namespace
}  // namespace talvi::lib
