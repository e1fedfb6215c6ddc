// SPDX-License-Identifier: MIT
// The fixture of the profile-writing tests: a fresh folder and its t.ini.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "fs/profile.h"
#include "support/temp_dir.h"

namespace talvi::fs {

class ProfileWrite : public ::testing::Test {
 protected:
  bool Put(const std::optional<std::string>& section, const std::optional<std::string>& key,
           const std::optional<std::string>& value) {
    return WritePrivateProfileString(section, key, value, ini_);
  }
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(dir_.path()), {}));
  }

  talvi::testing::TempDir dir_;
  std::string ini_ = dir_ / "t.ini";
};

}  // namespace talvi::fs
