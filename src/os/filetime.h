// SPDX-License-Identifier: MIT
// Windows file times: 100-nanosecond intervals since 1 January 1601 (UTC),
// kept as 8 little-endian bytes in records.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace talvi::os {

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kFileTimeEpochOffset = 11644473600;

// A POSIX time to a file time; times before 1601 give 0.
std::uint64_t ToFileTime(const timespec& ts);
// A file time to a POSIX time.
timespec FromFileTime(std::uint64_t file_time);

// The 8 raw bytes of a file time (low double word first) and back.
std::string FileTimeBytes(std::uint64_t file_time);
std::uint64_t FileTimeFromBytes(std::string_view bytes);

}  // namespace talvi::os
