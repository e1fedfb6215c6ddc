// SPDX-License-Identifier: MIT
#include "os/find_data.h"

#include <algorithm>

#include "os/filetime.h"

namespace talvi::os {
namespace {

void WriteText(std::string& bytes, std::size_t offset, std::size_t field, std::string_view text) {
  const std::size_t n = std::min(text.size(), field - 1);
  std::copy_n(text.begin(), n, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string ReadText(std::string_view bytes, std::size_t offset, std::size_t field) {
  if (offset >= bytes.size()) return {};
  std::string_view f = bytes.substr(offset, field);
  return std::string(f.substr(0, f.find('\0')));
}

std::string_view Sub(std::string_view bytes, std::size_t offset, std::size_t n) {
  return offset < bytes.size() ? bytes.substr(offset, n) : std::string_view();
}

}  // namespace

std::uint32_t ReadU32(std::string_view bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i) {
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return v;
}

void WriteU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
  }
}

std::string EncodeFindData(const FindData& data) {
  std::string bytes(kFindDataSize, '\0');
  WriteU32(bytes, kFindAttrOffset, data.attributes);
  bytes.replace(kFindCreationOffset, 8, FileTimeBytes(data.creation_time));
  bytes.replace(kFindAccessOffset, 8, FileTimeBytes(data.access_time));
  bytes.replace(kFindWriteOffset, 8, FileTimeBytes(data.write_time));
  WriteU32(bytes, kFindSizeHighOffset, static_cast<std::uint32_t>(data.size >> 32));
  WriteU32(bytes, kFindSizeLowOffset, static_cast<std::uint32_t>(data.size & 0xFFFFFFFFu));
  WriteU32(bytes, kFindReserved0Offset, data.reserved0);
  WriteU32(bytes, kFindReserved1Offset, data.reserved1);
  WriteText(bytes, kFindNameOffset, kFindNameSize, data.name);
  WriteText(bytes, kFindShortNameOffset, kFindShortNameSize, data.short_name);
  return bytes;
}

FindData DecodeFindData(std::string_view bytes) {
  FindData d;
  d.attributes = ReadU32(bytes, kFindAttrOffset);
  d.creation_time = FileTimeFromBytes(Sub(bytes, kFindCreationOffset, 8));
  d.access_time = FileTimeFromBytes(Sub(bytes, kFindAccessOffset, 8));
  d.write_time = FileTimeFromBytes(Sub(bytes, kFindWriteOffset, 8));
  d.size = (static_cast<std::uint64_t>(ReadU32(bytes, kFindSizeHighOffset)) << 32) |
           ReadU32(bytes, kFindSizeLowOffset);
  d.reserved0 = ReadU32(bytes, kFindReserved0Offset);
  d.reserved1 = ReadU32(bytes, kFindReserved1Offset);
  d.name = ReadText(bytes, kFindNameOffset, kFindNameSize);
  d.short_name = ReadText(bytes, kFindShortNameOffset, kFindShortNameSize);
  return d;
}

}  // namespace talvi::os
