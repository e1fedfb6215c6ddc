// SPDX-License-Identifier: MIT
// Single-call file and folder helpers. Paths are written the Windows way and
// translated for this system (os/path.h); results report success only, no
// message is shown.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace talvi::fs {

// Copies a file, overwriting an existing destination. `progress` runs now
// and then during the copy so that windows stay alive; when it is empty
// the installed refresh hook (fs/hooks.h) runs instead. The copy cannot be
// cancelled.
bool COPYFILE(const std::string& source, const std::string& destination,
              const std::function<void()>& progress = {});

// Creates one folder. The security-attributes argument is accepted for
// compatibility and not used: a number is never taken as a pointer.
bool CREATEDIR(const std::string& path, std::optional<std::int64_t> security = {});

bool DELETEFILE(const std::string& path);
// Fails when the new path exists.
bool MOVEFILE(const std::string& old_path, const std::string& new_path);
// The folder must be empty.
bool REMOVEDIR(const std::string& path);
bool SETCURDIR(const std::string& path);

// Copies the last-write time, and only that, from one file or folder to
// another.
bool SETFILEDATETIME(const std::string& source, const std::string& destination);

// The full form of a path (260-character buffer); "" when it does not fit.
std::string FULLNAME(const std::string& path);

// Free bytes of the disk holding the path (all of them, not the caller's
// quota); 0 when unknown.
std::int64_t DISKFREESPACE(const std::string& path);

// The system's drive-type number for a root such as "A:\" (on Linux: for
// the mount the translated path lives on).
int GETDRIVETYPE(const std::string& root);

}  // namespace talvi::fs
