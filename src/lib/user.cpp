// SPDX-License-Identifier: MIT
#include "lib/user.h"

#include <mutex>

namespace talvi::lib {
namespace {

struct UserState {
  std::string name = "        ";
  std::optional<FileHandle> handle;
  std::string temp;
  std::function<void()> release_lock;
};

std::mutex state_mutex;
UserState& State() {
  static UserState state;
  return state;
}

}  // namespace

std::string SETUSER(const std::optional<std::string>& name) {
  std::lock_guard lock(state_mutex);
  if (name) State().name = *name;
  return State().name;
}

std::optional<FileHandle> SETHUSER(std::optional<FileHandle> handle) {
  std::lock_guard lock(state_mutex);
  if (handle) State().handle = handle;
  return State().handle;
}

std::string SETTEMP(const std::optional<std::string>& folder) {
  std::lock_guard lock(state_mutex);
  if (folder) State().temp = *folder;
  return State().temp;
}

bool IsUserSignedIn() {
  return SETUSER().find_first_not_of(' ') != std::string::npos;
}

void SUNLOCK() {
  if (!IsUserSignedIn()) return;
  std::function<void()> release;
  {
    std::lock_guard lock(state_mutex);
    release = State().release_lock;
  }
  if (release) release();
}

std::function<void()> SetSystemLockRelease(std::function<void()> release) {
  std::lock_guard lock(state_mutex);
  std::swap(State().release_lock, release);
  return release;
}

}  // namespace talvi::lib
