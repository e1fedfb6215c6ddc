// SPDX-License-Identifier: MIT
// Two pulls of one disk compared track side by track side: over a line
// without a checksum, a byte that arrived wrong shows up only here.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace talvi::opd {

// Bytes [begin, end) of one track side.
struct ByteRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};

struct SideDifference {
  std::size_t index = 0;
  std::vector<ByteRange> ranges;  // within the side, in order
  std::size_t bytes = 0;          // differing bytes in all
};

// The shorter image is the longer one with `missing` bytes left out at
// `offset` (a track side that arrived short: the transfer program stops
// waiting for a byte that does not come and goes on with the next one), and
// equal otherwise. `offset` is the first byte that differs; the bytes left
// out start there or a little before, where the bytes happen to repeat.
struct MissingBytes {
  bool secondIsShorter = true;
  std::size_t offset = 0;
  std::size_t missing = 0;
};

struct Comparison {
  // Track sides that differ, compared side by side over the length both
  // have; empty when `missing` explains every difference.
  std::vector<SideDifference> sides;
  std::optional<MissingBytes> missing;
};

Comparison Compare(std::string_view a, std::string_view b);

}  // namespace talvi::opd
