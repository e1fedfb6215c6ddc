// SPDX-License-Identifier: MIT
// The few file-system calls of the start-up and shut-down sweeps, on the
// system stand-ins of the os layer (Windows attributes and erasure rules on
// every system: a read-only file cannot be erased until the attribute is
// cleared).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lib/user.h"

namespace talvi::lib::startup_files {

// Paths here are the program's (1252, written the Windows way); they meet
// the system's names through os::NativePath.
struct FolderEntry {
  std::string name;
  bool directory = false;
  bool read_only = false;
  bool hidden = false;
  bool system = false;
};

// The entries of `folder` ("" for the current folder) in the system's
// listing order, without "." and "..". Empty when the folder cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// `folder` + separator + `name` (no second separator when `folder` ends
// with one); just `name` when `folder` is "".
std::string Join(const std::string& folder, const std::string& name);

bool EraseFile(const std::string& path);
// The folder must be empty; a link to a folder is removed itself.
bool RemoveFolder(const std::string& path);
bool PathExists(const std::string& path);
// Whether `path` is a symbolic link (a junction or folder link on Windows).
bool IsLink(const std::string& path);
void ClearReadOnlyAndHidden(const std::string& path);

// The value of the environment variable TEMP ("" when unset), in the
// program's form.
std::string TempVariable();

// The separator this system writes in paths.
char Separator();

// Makes the system report a drive that is not ready to the calling
// function instead of showing its own critical-error box.
void FailCriticalErrorsQuietly();

void CloseFile(FileHandle handle);

}  // namespace talvi::lib::startup_files
