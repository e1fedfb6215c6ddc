// SPDX-License-Identifier: MIT
// Copying and deleting whole folder trees.
#pragma once

#include <string>

namespace talvi::fs {

// Copies a folder tree and stops at the first failure, telling the user
// which path failed (an information box through the message sink). With
// `create` the destination folder is made first (an existing one fails);
// without it the destination must exist. The destination takes the
// source's last-write time before its contents are copied. System files
// are not copied. What was copied before a failure stays. A symbolic link
// in the tree is copied as a link to the same place: what it names is not
// read or copied, so the copy never leaves the tree.
bool COPYDIR(const std::string& source, const std::string& destination, bool create = true);

// Deletes a folder's contents (read-only, hidden and system entries too)
// and, with `remove`, the folder itself; stops at the first failure,
// telling the user which path failed. Windows stay alive between files.
// A link (to a file or a folder, or `directory` itself) is removed as an
// entry of its own: what it names is never entered, changed or deleted.
bool DELETEDIR(const std::string& directory, bool remove = true);

}  // namespace talvi::fs
