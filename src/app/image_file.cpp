// SPDX-License-Identifier: MIT
#include "app/image_file.h"

namespace talvi::app {
namespace {

int HexDigit(char c) {
  return c <= '9' ? c - '0' : c - 'a' + 10;
}

}  // namespace

const std::string& FixedBlock() {
  static const std::string block = [] {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < sizeof kFixedBlockHex; i += 2) {
      bytes +=
          static_cast<char>(HexDigit(kFixedBlockHex[i]) * 16 + HexDigit(kFixedBlockHex[i + 1]));
    }
    return bytes;
  }();
  return block;
}

std::string ImageFileBytes(const std::string& received) {
  std::string bytes = FixedBlock();
  if (received.size() > kFixedBlockBytes) bytes.append(received, kFixedBlockBytes);
  return bytes;
}

}  // namespace talvi::app
