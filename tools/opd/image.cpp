// SPDX-License-Identifier: MIT
#include "opd/image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/image_file.h"
#include "app/transfer.h"

namespace talvi::opd {

std::size_t SideBytes() {
  return app::kTrackSideBytes;
}

bool LoadImage(const std::string& path, std::string& bytes, std::string& error) {
  namespace fs = std::filesystem;
  bytes.clear();
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    error = path + ": no such file";
    return false;
  }
  if (fs::is_directory(status)) {
    error = path + ": a folder, not a disk image file";
    return false;
  }
  if (!fs::is_regular_file(status)) {
    error = path + ": not a plain file, so not a disk image";
    return false;
  }
  const auto size = fs::file_size(path, ec);
  if (!ec && size > kMaxSides * SideBytes()) {
    error = path + ": " + std::to_string(size) + " bytes, too large for a disk image (at most " +
            std::to_string(kMaxSides) + " track sides of " + std::to_string(SideBytes()) +
            " bytes)";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    error = path + ": reading failed";
    return false;
  }
  if (bytes.empty()) {
    error = path + ": empty, not a disk image";
    return false;
  }
  if (bytes.size() < app::kFixedBlockBytes) {
    error = path + ": " + std::to_string(bytes.size()) +
            " bytes, shorter than the fixed block that starts every disk image";
    return false;
  }
  if (!HasFixedBlock(bytes) && ExtraBytes(bytes) != 0) {
    error = path + ": not a disk image: it does not start with the fixed block and is not whole " +
            std::to_string(SideBytes()) + "-byte track sides";
    return false;
  }
  return true;
}

std::size_t WholeSides(std::string_view image) {
  return image.size() / SideBytes();
}

std::size_t ExtraBytes(std::string_view image) {
  return image.size() % SideBytes();
}

std::size_t SideCount(std::string_view image) {
  return WholeSides(image) + (ExtraBytes(image) != 0 ? 1 : 0);
}

std::string_view Side(std::string_view image, std::size_t index) {
  if (index >= SideCount(image)) return {};
  return image.substr(index * SideBytes(), SideBytes());
}

bool HasFixedBlock(std::string_view image) {
  return image.substr(0, app::kFixedBlockBytes) == app::FixedBlock();
}

std::string SideLabel(std::size_t index) {
  return "side " + std::to_string(index) + " (track " + std::to_string(index / 2) + ", side " +
         std::to_string(index % 2) + ")";
}

std::vector<UniformSide> UniformSides(std::string_view image) {
  std::vector<UniformSide> found;
  const bool block = HasFixedBlock(image);
  for (std::size_t i = 0; i < SideCount(image); ++i) {
    std::string_view side = Side(image, i);
    if (i == 0 && block) side.remove_prefix(std::min(side.size(), app::kFixedBlockBytes));
    if (side.empty()) continue;
    const char first = side.front();
    if (std::all_of(side.begin(), side.end(), [first](char c) { return c == first; })) {
      found.push_back({i, static_cast<unsigned char>(first)});
    }
  }
  return found;
}

}  // namespace talvi::opd
