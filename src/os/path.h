// Path names written the Windows way ("C:\ORVA\NET", ".\TALVI.INI") and their
// form on this system.
#pragma once

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

// The path separator this system writes ("\" on Windows, "/" on Linux).
char PathSeparator();

}  // namespace talvi::os
