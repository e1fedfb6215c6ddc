// SPDX-License-Identifier: MIT
// The pages of an index file kept in memory, decoded or as bytes, by
// offset: a slot per page of the file, so that finding one on the way
// down a tree is one step. A page stays at its address until it is erased
// or the cache cleared, so that an update can change several in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace talvi::dbf {

template <class Page, std::uint32_t kPageSize>
class PageCache {
 public:
  Page* Find(std::uint32_t offset) {
    const std::size_t i = offset / kPageSize;
    return i < pages_.size() ? pages_[i].get() : nullptr;
  }
  // The page at `offset`, made new when there is none.
  Page& Slot(std::uint32_t offset) {
    const std::size_t i = offset / kPageSize;
    if (i >= pages_.size()) pages_.resize(i + 1);
    if (!pages_[i]) pages_[i] = std::make_unique<Page>();
    return *pages_[i];
  }
  void Erase(std::uint32_t offset) {
    if (offset / kPageSize < pages_.size()) pages_[offset / kPageSize].reset();
  }
  void Clear() { pages_.clear(); }

 private:
  std::vector<std::unique_ptr<Page>> pages_;
};

}  // namespace talvi::dbf
