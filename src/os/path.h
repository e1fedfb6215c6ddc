// SPDX-License-Identifier: MIT
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

// The program's texts, file names included, are code page 1252 bytes; this
// is where a name meets the system's file names, both ways. Every call of
// the os layer that takes a path takes its native form (NativePath); the
// names it hands back (find data) are already the program's form.

// Turns a path written with backslashes and drive letters into a path this
// system opens. On Linux: "C:\ORVA\NET..." (any letter case) becomes
// NetworkFolder() plus the rest, a drive prefix "X:" is dropped (there are no
// drives: "X:\a" is "/a", "X:a" is "a"), then every "\" becomes "/", and
// the 1252 bytes become the UTF-8 of Linux file names ("citt\xE0" is the
// folder "città"). On Windows the path is returned unchanged.
std::string NativePath(std::string_view path);

// The program's form of a native path or name (a name from a listing, the
// current folder, a folder from the environment). On Linux the UTF-8 name
// in 1252; a character 1252 cannot hold, and a byte that is no UTF-8,
// becomes "?", as the system's ANSI calls give such names on Windows. Such
// a name names no file: see ProgramCanHold. On Windows unchanged.
std::string ProgramPath(std::string_view native);

// Whether ProgramPath(native) holds the whole name, so that NativePath
// gives `native` back. Always true on Windows.
bool ProgramCanHold(std::string_view native);

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
