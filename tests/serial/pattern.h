// SPDX-License-Identifier: MIT
// Test bytes for the serial tests, the same on every system.
#pragma once

#include <cstddef>
#include <string>

namespace talvi::testing {

// A byte pattern that shows loss, duplication and reordering.
inline std::string Pattern(std::size_t size, std::size_t seed = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(((i + seed) * 131 + (i + seed) / 251) & 0xFF);
  }
  return bytes;
}

}  // namespace talvi::testing
