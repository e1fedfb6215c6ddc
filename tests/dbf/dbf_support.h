// Helpers for the table-engine tests: an error handler that records what is
// raised, and copies of the fixture tables.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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
