// SPDX-License-Identifier: MIT
// An NTX file written in one go from its keys: sorted, spread evenly over
// the fewest leaves that hold them with one entry between each two leaves
// going up, and each level above built the same way from the entries that
// went up, until one page (the root) holds what is left.
#include <algorithm>
#include <cstring>

#include "dbf/codes.h"
#include "dbf/ntx.h"
#include "dbf/raise.h"

namespace talvi::dbf {

bool NtxFile::Load(std::vector<IndexEntry> entries) {
  if (read_only_) return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_));
  Hold hold(*this);
  if (!hold.ok() || !Clear()) return false;
  // The pages are written below.
  std::erase_if(pending_, [](const auto& p) { return p.first != 0; });
  for (auto& e : entries) e.key.resize(header_.key_size, ' ');
  std::sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
    const int c = a.key.compare(b.key);
    return c < 0 || (c == 0 && a.recno < b.recno);
  });
  if (header_.unique) {  // the lowest record number of a key stays
    entries.erase(
        std::unique(entries.begin(), entries.end(),
                    [](const IndexEntry& a, const IndexEntry& b) { return a.key == b.key; }),
        entries.end());
  }
  // One level: its items (each with the page to its left for inner
  // levels) and the page after the last item.
  std::vector<Item> items;
  items.reserve(entries.size());
  for (auto& e : entries) items.push_back(Item{0, e.recno, std::move(e.key)});
  entries = {};
  std::uint32_t last = 0;
  // Pages go to the end of the file in the order they are made, written
  // in runs of pages.
  std::uint32_t next = kNtxPageSize;
  std::vector<unsigned char> run;
  // Pages written stay in the cache (the first updates after a build need
  // not read them again).
  const auto write = [&]() {
    if (run.empty()) return true;
    const std::uint64_t at = next - run.size();
    if (!file_->WriteAt(at, run.data(), run.size())) {
      return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
    }
    for (std::size_t done = 0; done < run.size(); done += kNtxPageSize) {
      Page& kept = cache_.Slot(static_cast<std::uint32_t>(at + done));
      kept.offset = static_cast<std::uint32_t>(at + done);
      std::memcpy(kept.bytes.data(), run.data() + done, kNtxPageSize);
    }
    run.clear();
    return true;
  };
  const std::size_t max = header_.max_items;
  while (true) {
    const std::size_t n = items.size();
    // The fewest pages: k pages hold n - (k - 1) items, at most max each.
    const std::size_t k = n <= max ? 1 : (n + 1 + max) / (max + 1);
    const std::size_t held = n - (k - 1);
    std::vector<Item> up;
    up.reserve(k - 1);
    std::size_t from = 0;
    for (std::size_t p = 0; p < k; ++p) {
      Page page;
      page.offset = next;
      layout_.Init(page, 0);
      const std::size_t count = held / k + (p < held % k ? 1 : 0);
      for (std::size_t i = 0; i < count; ++i, ++from) {
        layout_.PutItem(layout_.Item(page, i), items[from].child, items[from].recno,
                        items[from].key);
      }
      std::uint32_t right = last;
      if (p + 1 < k) {
        right = items[from].child;
        up.push_back(std::move(items[from]));
        up.back().child = page.offset;
        ++from;
      }
      page.bytes[0] = static_cast<unsigned char>(count & 0xFF);
      page.bytes[1] = static_cast<unsigned char>(count >> 8);
      layout_.SetChild(page, count, right);
      if (next > 0xFFFFFFFFull - kNtxPageSize) {
        return Fail(Failure(kGenLimit, kSubLimit).File(path_).Desc("Index file full"));
      }
      run.insert(run.end(), page.bytes.begin(), page.bytes.end());
      next += kNtxPageSize;
      if (run.size() >= 256 * kNtxPageSize && !write()) return false;
      if (k == 1) {
        if (!write()) return false;
        file_size_ = next;
        header_.root = page.offset;
        return Changed();
      }
    }
    last = next - kNtxPageSize;
    items = std::move(up);
  }
}

}  // namespace talvi::dbf
