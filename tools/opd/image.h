// SPDX-License-Identifier: MIT
// A disk image file as the transfer program writes it: the track sides in
// the order they arrived, 4608 bytes each, the first 128 bytes replaced by
// the fixed block. Nothing in the file says how many sides there are or
// which track each one is: both follow from its size and the usual order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvi::opd {

// Larger files are not taken for disk images (a double-sided 80-track disk
// is 160 sides); this also keeps a wrong argument from being read whole.
inline constexpr std::size_t kMaxSides = 1024;

// Reads `path` as a disk image into `bytes`. False, with a sentence in
// `error` that says what the file is instead, for a file that cannot be
// read or cannot be an image: a folder, an empty file, one shorter than the
// fixed block, one that neither starts with the fixed block nor holds whole
// track sides, one larger than kMaxSides sides.
bool LoadImage(const std::string& path, std::string& bytes, std::string& error);

// The bytes per track side.
std::size_t SideBytes();
// Whole track sides, and the bytes after the last whole one.
std::size_t WholeSides(std::string_view image);
std::size_t ExtraBytes(std::string_view image);
// The track sides, counting a short last one.
std::size_t SideCount(std::string_view image);
// Track side `index` (0-based, file order); shorter for a short last side,
// empty past the end.
std::string_view Side(std::string_view image, std::size_t index);
// True when the image starts with the fixed block.
bool HasFixedBlock(std::string_view image);

// "side 5 (track 2, side 1)": the index in the file with the track and side
// the remote sends in that place (track 0 side 0, track 0 side 1, track 1
// side 0, ...).
std::string SideLabel(std::size_t index);

// A track side that holds one byte value only, which usually means a track
// that could not be read or was never written. The first side is judged
// after the fixed block when the image has it.
struct UniformSide {
  std::size_t index = 0;
  unsigned char value = 0;
};
std::vector<UniformSide> UniformSides(std::string_view image);

}  // namespace talvi::opd
