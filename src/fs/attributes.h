// SPDX-License-Identifier: MIT
// Reading and changing the read-only and hidden attributes of a path.
#pragma once

#include <cstdint>
#include <string>

namespace talvi::fs {

// The attribute bits (1 read-only, 2 hidden, 4 system, 16 folder, 32
// archive, 128 normal), or -1 when the path does not exist.
std::int64_t GETFILEATTRIBUTES(const std::string& path);
// Writes the bits (taken as the system's unsigned 32-bit value).
bool SETFILEATTRIBUTES(const std::string& path, std::int64_t bits);

// Each reads the attributes and writes them back only when the one bit
// must change. A missing path reads as -1 (all bits set): SETHIDDEN then
// changes nothing, CLEARREADONLY and CLEARHIDDEN try to write a value that
// the missing path refuses.
void CLEARREADONLY(const std::string& path);
void CLEARHIDDEN(const std::string& path);
void SETHIDDEN(const std::string& path);

}  // namespace talvi::fs
