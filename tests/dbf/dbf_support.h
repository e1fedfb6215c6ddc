// SPDX-License-Identifier: MIT
// Helpers for the table-engine tests: an error handler that records what is
// raised, and copies of the fixture tables.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbf/table.h"
#include "errors/error.h"
#include "support/temp_dir.h"

namespace talvi::dbf::testing {

// Installs a handler that keeps every error and answers "fail" (the
// default), restoring the previous handler afterwards.
class ErrorLog {
 public:
  ErrorLog() {
    old_ = errors::SetHandler([this](const errors::Error& e) {
      errors_.push_back(e);
      return errors::Answer::Default();
    });
  }
  ~ErrorLog() { errors::SetHandler(std::move(old_)); }
  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  const std::vector<errors::Error>& errors() const { return errors_; }
  bool empty() const { return errors_.empty(); }
  const errors::Error& last() const { return errors_.back(); }
  void clear() { errors_.clear(); }

 private:
  errors::Handler old_;
  std::vector<errors::Error> errors_;
};

// The five-field table most tests make: one field of each common type.
inline std::vector<FieldDef> Fields() {
  return {{"NAME", 'C', 10, 0},
          {"QTY", 'N', 8, 2},
          {"DAY", 'D', 8, 0},
          {"OK", 'L', 1, 0},
          {"NOTE", 'M', 10, 0}};
}

// A table made in a folder of its own, opened exclusively, with an error log.
class TableFixture : public ::testing::Test {
 protected:
  std::unique_ptr<Table> Make(const std::vector<FieldDef>& fields = Fields()) {
    EXPECT_TRUE(Table::Create(path_, fields));
    return Table::Open(path_, {.shared = false, .read_only = false});
  }
  // Appends a record with `name` and, when the second field is numeric, `qty`.
  std::uint32_t Append(Table& t, const std::string& name, double qty) {
    std::string r = t.BlankRecord();
    EXPECT_TRUE(t.PutValue(r, 0, Value::Character(name)));
    if (t.fields().size() > 1 && t.fields()[1].type == 'N') {
      EXPECT_TRUE(t.PutValue(r, 1, Value::Numeric(qty)));
    }
    std::uint32_t n = 0;
    EXPECT_TRUE(t.AppendRecord(r, n));
    return n;
  }
  talvi::testing::TempDir dir_;
  ErrorLog log_;
  std::string path_ = dir_ / "ITEMS.DBF";
};

inline std::string FixtureDir() {
  return TALVI_DBF_FIXTURES;
}

// Copies the fixture folder `name` into `dir` and gives back the copy's
// path, or "" (and the test should skip) when the fixtures are absent.
inline std::string CopyFixture(const talvi::testing::TempDir& dir, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path from = fs::path(FixtureDir()) / name;
  std::error_code ec;
  if (!fs::is_directory(from, ec)) return "";
  const fs::path to = dir.path() / name;
  fs::create_directories(to, ec);
  for (const auto& e : fs::directory_iterator(from)) {
    fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing, ec);
  }
  return to.string();
}

#define TALVI_NEED_FIXTURE(var, dir, name)                                           \
  const std::string var = ::talvi::dbf::testing::CopyFixture(dir, name);             \
  if (var.empty()) {                                                                 \
    GTEST_SKIP() << "fixtures not found in " << ::talvi::dbf::testing::FixtureDir(); \
  }                                                                                  \
  static_assert(true)

}  // namespace talvi::dbf::testing
