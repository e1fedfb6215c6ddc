// SPDX-License-Identifier: MIT
// The user's temporary folder.
#pragma once

#include <string>

namespace talvi::os {

// Without a trailing separator. On Linux: $TEMP, else $TMP, else $TMPDIR,
// else "/tmp" (the first that is set and non-empty). On Windows: the
// system's temporary path.
std::string TempFolder();

}  // namespace talvi::os
