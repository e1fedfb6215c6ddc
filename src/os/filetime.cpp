// SPDX-License-Identifier: MIT
#include "os/filetime.h"

namespace talvi::os {

std::uint64_t ToFileTime(const timespec& ts) {
  const std::int64_t secs = static_cast<std::int64_t>(ts.tv_sec) + kFileTimeEpochOffset;
  if (secs < 0) return 0;
  return static_cast<std::uint64_t>(secs) * 10000000u +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100u;
}

timespec FromFileTime(std::uint64_t file_time) {
  timespec ts{};
  ts.tv_sec =
      static_cast<time_t>(static_cast<std::int64_t>(file_time / 10000000u) - kFileTimeEpochOffset);
  ts.tv_nsec = static_cast<long>((file_time % 10000000u) * 100u);
  return ts;
}

std::string FileTimeBytes(std::uint64_t file_time) {
  std::string bytes(8, '\0');
  for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>((file_time >> (8 * i)) & 0xFFu);
  return bytes;
}

std::uint64_t FileTimeFromBytes(std::string_view bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8 && i < bytes.size(); ++i) {
    v |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  }
  return v;
}

}  // namespace talvi::os
