// SPDX-License-Identifier: MIT
// The mail link goes to the desktop's handler byte for byte, without the
// shell reading anything into its "&", ";" or quotes, and without waiting.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "errors/errorsys.h"
#include "support/temp_dir.h"

namespace talvi::errors {
namespace {

namespace fs = std::filesystem;

TEST(OpenWithDefaultHandler, HandsTheLinkOverUntouched) {
  const testing::TempDir tmp;
  const fs::path dir = tmp.path();
  // A stand-in for the desktop's handler: records its argument, stays a
  // while, as a mail program would, and marks its end.
  const fs::path handler = dir / "xdg-open";
  std::ofstream(handler) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << (dir / "seen.tmp").string()
                         << "\"\nmv \"" << (dir / "seen.tmp").string() << "\" \""
                         << (dir / "seen").string() << "\"\nsleep 10\ntouch \""
                         << (dir / "done").string() << "\"\n";
  fs::permissions(handler, fs::perms::owner_all);
  const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (dir.string() + ":" + old_path).c_str(), 1);

  const std::string link =
      "mailto:?subject=Rapporto di errore&body=Applicazione: /x/a b'c\"$HOME`id`;"
      "%0d%0a%0d%0aError%26;x";
  OpenWithDefaultHandler(link);
  EXPECT_FALSE(fs::exists(dir / "done")) << "waited for the handler to end";
  setenv("PATH", old_path.c_str(), 1);
  // No child is left behind for this process to reap.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(dir / "seen") && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::stringstream seen;
  seen << std::ifstream(dir / "seen").rdbuf();
  EXPECT_EQ(seen.str(), link);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace talvi::errors
