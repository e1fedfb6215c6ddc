// SPDX-License-Identifier: MIT
// The disk image that the simulated remote computer sends, and the order in
// which it sends the track sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace talvi::remote {

// Bytes in one track side, as the remote's disk interface delivers them.
inline constexpr std::size_t kSideBytes = 4608;
// A double-sided 80-track disk.
inline constexpr int kFullDiskSides = 160;

// Track sides go out interleaved per track: track 0 side 0, track 0 side 1,
// track 1 side 0, ... The track byte of side 0 is the track number, that of
// side 1 the track number + 128. Index 2k is track k side 0, 2k+1 is track k
// side 1. Indexes past 159 keep counting tracks (they wrap at 128).
std::uint8_t trackByte(int index);

// Reproducible pseudo-random data for `sides` track sides.
std::string generateImage(int sides, std::uint32_t seed);

// The first `sides` track sides of the file at `path`; a short file is padded
// with zero bytes. Empty optional when the file cannot be read.
std::optional<std::string> loadImage(const std::string& path, int sides);

}  // namespace talvi::remote
