// SPDX-License-Identifier: MIT
#include "opd/diff.h"

#include <algorithm>

#include "opd/image.h"

namespace talvi::opd {
namespace {

std::size_t CommonPrefix(std::string_view a, std::string_view b) {
  const auto n = std::min(a.size(), b.size());
  return static_cast<std::size_t>(
      std::mismatch(a.begin(), a.begin() + static_cast<long>(n), b.begin()).first - a.begin());
}

std::size_t CommonSuffix(std::string_view a, std::string_view b) {
  const auto n = std::min(a.size(), b.size());
  return static_cast<std::size_t>(
      std::mismatch(a.rbegin(), a.rbegin() + static_cast<long>(n), b.rbegin()).first - a.rbegin());
}

SideDifference CompareSide(std::size_t index, std::string_view a, std::string_view b) {
  SideDifference diff{index, {}, 0};
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    if (!diff.ranges.empty() && diff.ranges.back().end == i) {
      ++diff.ranges.back().end;
    } else {
      diff.ranges.push_back({i, i + 1});
    }
    ++diff.bytes;
  }
  return diff;
}

}  // namespace

Comparison Compare(std::string_view a, std::string_view b) {
  Comparison result;
  if (a.size() != b.size()) {
    // The shorter one is the longer one less a run of bytes when what
    // matches from the front and what matches from the back meet.
    const bool secondShorter = b.size() < a.size();
    const std::string_view longer = secondShorter ? a : b;
    const std::string_view shorter = secondShorter ? b : a;
    const std::size_t front = CommonPrefix(longer, shorter);
    const std::size_t back = CommonSuffix(longer, shorter);
    if (front + back >= shorter.size()) {
      result.missing = MissingBytes{secondShorter, front, longer.size() - shorter.size()};
      return result;
    }
  }
  const std::size_t sides = std::min(SideCount(a), SideCount(b));
  for (std::size_t i = 0; i < sides; ++i) {
    SideDifference diff = CompareSide(i, Side(a, i), Side(b, i));
    if (diff.bytes > 0) result.sides.push_back(std::move(diff));
  }
  return result;
}

}  // namespace talvi::opd
