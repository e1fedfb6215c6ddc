// SPDX-License-Identifier: MIT
// The library's record of the signed-in user: name, open presence file and
// working temporary folder, and the release of the system lock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace talvi::lib {

// An open file of the system: a descriptor on Linux, a HANDLE on Windows.
using FileHandle = std::intptr_t;

// The current user name; eight blanks (the initial value) mean that no user
// is signed in. With an argument, stores it first.
std::string SETUSER(const std::optional<std::string>& name = std::nullopt);

// The handle of the current user's open presence file; none initially.
// With an argument, stores it first.
std::optional<FileHandle> SETHUSER(std::optional<FileHandle> handle = std::nullopt);

// The working temporary folder of the current user, with a trailing
// separator; "" initially. With an argument, stores it first.
std::string SETTEMP(const std::optional<std::string>& folder = std::nullopt);

// True when a user is signed in (the user name is not blank).
bool IsUserSignedIn();

// Releases the system lock. Does nothing while no user is signed in;
// otherwise runs the release that the table layer registered (it closes
// the system lock table), if any.
void SUNLOCK();

// Registers the table layer's release of the system lock; gives back the
// previous one.
std::function<void()> SetSystemLockRelease(std::function<void()> release);

}  // namespace talvi::lib
