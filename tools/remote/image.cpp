// SPDX-License-Identifier: MIT
#include "remote/image.h"

#include <fstream>

namespace talvi::remote {

std::uint8_t trackByte(int index) {
  const int track = (index / 2) % 128;
  const int side = index % 2;
  return static_cast<std::uint8_t>(track + 128 * side);
}

std::string generateImage(int sides, std::uint32_t seed) {
  const std::size_t size = sides > 0 ? static_cast<std::size_t>(sides) * kSideBytes : 0;
  std::string data(size, '\0');
  // xorshift32; a zero state would stay zero, so it is nudged.
  std::uint32_t x = seed == 0 ? 0x9E3779B9u : seed;
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return data;
}

std::optional<std::string> loadImage(const std::string& path, int sides) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    data.append(buf, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  data.resize(sides > 0 ? static_cast<std::size_t>(sides) * kSideBytes : 0, '\0');
  return data;
}

}  // namespace talvi::remote
