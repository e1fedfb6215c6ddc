// Copying and deleting whole folder trees.
#pragma once

#include <string>

namespace talvi::fs {

// Copies a folder tree and stops at the first failure, telling the user
// which path failed (an information box through the message sink). With
// `create` the destination folder is made first (an existing one fails);
// without it the destination must exist. The destination takes the
// source's last-write time before its contents are copied. System files
// are not copied. What was copied before a failure stays.
bool COPYDIR(const std::string& source, const std::string& destination, bool create = true);

// Deletes a folder's contents (read-only, hidden and system entries too)
// and, with `remove`, the folder itself; stops at the first failure,
// telling the user which path failed. Windows stay alive between files.
bool DELETEDIR(const std::string& directory, bool remove = true);

}  // namespace talvi::fs
