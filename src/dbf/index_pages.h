// SPDX-License-Identifier: MIT
// Pages of an index file kept back while the file is opened exclusively
// (CDX and NTX), and how they reach the file: in runs of neighbouring
// pages, lowest offset first, one write per run of at most 256 KiB.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "os/shared_file.h"

namespace talvi::dbf {

template <std::size_t PageSize>
using KeptPages = std::unordered_map<std::uint32_t, std::array<unsigned char, PageSize>>;

// Writes the pages of `kept` to `file`; each run leaves `kept` once it
// is written. False when a write failed (not raised: the caller raises
// with its file's name); that run and the ones after it stay kept.
template <std::size_t PageSize>
bool WriteKeptPages(os::SharedFile& file, KeptPages<PageSize>& kept) {
  std::vector<std::uint32_t> order;
  order.reserve(kept.size());
  for (const auto& p : kept) order.push_back(p.first);
  std::sort(order.begin(), order.end());
  std::vector<unsigned char> run;
  for (std::size_t i = 0; i < order.size();) {
    const std::uint32_t at = order[i];
    std::size_t j = i;
    run.clear();
    while (j < order.size() && order[j] == at + run.size() && run.size() < (256u << 10)) {
      const auto& page = kept.at(order[j++]);
      run.insert(run.end(), page.begin(), page.end());
    }
    if (!file.WriteAt(at, run.data(), run.size())) return false;
    for (; i < j; ++i) kept.erase(order[i]);
  }
  return true;
}

}  // namespace talvi::dbf
