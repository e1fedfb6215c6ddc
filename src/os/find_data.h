// SPDX-License-Identifier: MIT
// The find-data record: the 318-byte packed layout of the Windows
// WIN32_FIND_DATA record, little-endian, no gaps.
//
//   offset size  member
//        0    4  attribute bits
//        4    8  creation time (file time)
//       12    8  last access time
//       20    8  last write time
//       28    4  size, high double word
//       32    4  size, low double word
//       36    4  reserved 0
//       40    4  reserved 1
//       44  260  file name, NUL-terminated
//      304   14  8.3 short name, NUL-terminated
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace talvi::os {

inline constexpr std::size_t kFindDataSize = 318;
inline constexpr std::size_t kFindAttrOffset = 0;
inline constexpr std::size_t kFindCreationOffset = 4;
inline constexpr std::size_t kFindAccessOffset = 12;
inline constexpr std::size_t kFindWriteOffset = 20;
inline constexpr std::size_t kFindSizeHighOffset = 28;
inline constexpr std::size_t kFindSizeLowOffset = 32;
inline constexpr std::size_t kFindReserved0Offset = 36;
inline constexpr std::size_t kFindReserved1Offset = 40;
inline constexpr std::size_t kFindNameOffset = 44;
inline constexpr std::size_t kFindNameSize = 260;
inline constexpr std::size_t kFindShortNameOffset = 304;
inline constexpr std::size_t kFindShortNameSize = 14;

struct FindData {
  std::uint32_t attributes = 0;
  std::uint64_t creation_time = 0;
  std::uint64_t access_time = 0;
  std::uint64_t write_time = 0;
  std::uint64_t size = 0;
  std::uint32_t reserved0 = 0;
  std::uint32_t reserved1 = 0;
  std::string name;        // at most 259 bytes are kept
  std::string short_name;  // at most 13 bytes are kept
};

// The 318 bytes of a record.
std::string EncodeFindData(const FindData& data);
// A record from its bytes (missing bytes read as zero).
FindData DecodeFindData(std::string_view bytes);

// Little-endian double word access within a record.
std::uint32_t ReadU32(std::string_view bytes, std::size_t offset);
void WriteU32(std::string& bytes, std::size_t offset, std::uint32_t value);

}  // namespace talvi::os
