// Path names written the Windows way ("C:\ORVA\NET", ".\TALVI.INI") and their
// form on this system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace talvi::os {

// The folder that stands for the network marker folder "C:\ORVA\NET".
// On Linux: $TALVI_NET_DIR when set and non-empty, else /var/lib/talvi/net.
// On Windows: "C:\ORVA\NET" itself.
std::string NetworkFolder();

// Turns a path written with backslashes and drive letters into a path this
// system opens. On Linux: "C:\ORVA\NET..." (any letter case) becomes
// NetworkFolder() plus the rest, a drive prefix "X:" is dropped (there are no
// drives: "X:\a" is "/a", "X:a" is "a"), then every "\" becomes "/".
// On Windows the path is returned unchanged.
std::string NativePath(std::string_view path);

// The full form of a native path: a relative path is taken from the
// current folder, "." and ".." parts are resolved (".." stops at the root),
// repeated separators fold into one, letter case and a final separator are
// kept; links are not followed. When the result and its terminator fit in
// `size` characters it is stored in `out` and its length is returned;
// otherwise `out` is left alone and the size needed (terminator included)
// is returned. 0 for an empty path or an unknown current folder.
std::size_t FullPathName(std::string_view path, std::size_t size, std::string& out);

// The current drive: "C:" and the like on Windows; on Linux, which has no
// drives, "\" (the root of the one tree).
std::string CurrentDrive();

// The path separator this system writes ("\" on Windows, "/" on Linux).
char PathSeparator();

}  // namespace talvi::os
