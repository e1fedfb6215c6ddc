// SPDX-License-Identifier: MIT
// A directory listing filtered by attributes, as the tree helpers use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvi::fs {

struct DirEntry {
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t write_time = 0;  // file time
  std::string attributes;        // letters of "RHSDA" that apply, in that order
  bool link = false;             // a symbolic link (a folder link carries "D" too)
};

// The entries matching a pattern ("C:\DIR\*.*"), in search order. Plain
// and read-only files are always listed; hidden entries only when `filter`
// holds "H", system entries only with "S", folders only with "D" (letters
// in either case). "." and ".." come with folders, as the search gives them.
std::vector<DirEntry> ListDirectory(const std::string& pattern, const std::string& filter);

}  // namespace talvi::fs
