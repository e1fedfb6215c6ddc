// SPDX-License-Identifier: MIT
// File and folder operations with the rules of the Windows calls they stand
// for. Paths are native paths (see NativePath).
#pragma once

#include <functional>
#include <string>

namespace talvi::os {

// Called now and then during a long copy so that windows stay alive.
using CopyProgress = std::function<void()>;

// Copies a file, replacing an existing destination, and gives the copy the
// source's attributes and last-write time. Fails for a folder, and for a
// destination that is read-only or a folder. On Linux the copy is written
// beside the destination and renamed over it, so a failed copy leaves an
// existing destination whole.
bool CopyOneFile(const std::string& from, const std::string& to, const CopyProgress& progress);

// Deletes a file; fails for a folder and for a read-only file.
bool DeletePlainFile(const std::string& path);

// Renames or moves a file or folder; fails when the destination exists.
// A file moves across file systems too (copied, then deleted).
bool MovePath(const std::string& from, const std::string& to);

// Creates one folder; fails when it exists or its parent does not.
bool MakeDirectory(const std::string& path);

// Removes an empty folder; fails for a read-only one. A link to a folder is
// removed itself, as the system removes a folder link: what it names stays.
bool RemoveEmptyDirectory(const std::string& path);

// Makes `to` a link to what the link `from` names (the same target, as
// written), without reading or copying what it names. Fails when `from` is
// no link or `to` exists.
bool CopyLink(const std::string& from, const std::string& to);

// Changes the process's current folder.
bool ChangeDirectory(const std::string& path);

// Gives `to` (file or folder) the last-write time of `from` (file or
// folder); creation and access times stay. Fails when either is missing or
// `to` is a read-only file.
bool CopyLastWriteTime(const std::string& from, const std::string& to);

}  // namespace talvi::os
