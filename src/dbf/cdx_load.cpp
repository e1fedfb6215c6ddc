// SPDX-License-Identifier: MIT
// A CDX tag written in one go from its keys: sorted, packed into full
// leaves, then each level above built from the last entries of the one
// below, every level linked from left to right.
#include <algorithm>

#include "dbf/cdx.h"

namespace talvi::dbf {

bool CdxTag::Load(std::vector<IndexEntry> entries) {
  CdxFile::Hold hold(file_, true);
  std::uint32_t root = 0;
  if (!hold.ok() || !Root(root) || !FreeTree(root, 0)) return false;
  for (auto& e : entries) e.key.resize(key_size(), form_.filler);
  std::sort(entries.begin(), entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
    return a.key < b.key || (a.key == b.key && a.recno < b.recno);
  });
  if (info_.unique) {
    entries.erase(
        std::unique(entries.begin(), entries.end(),
                    [](const IndexEntry& a, const IndexEntry& b) { return a.key == b.key; }),
        entries.end());
  }
  // Leaves, each as full as it goes.
  const std::size_t keyLength = key_size();
  const auto node = [&](std::vector<CdxNode>& level, std::uint16_t attributes) -> CdxNode& {
    CdxNode& n = level.emplace_back();
    n.attributes = attributes;
    n.keyLength = keyLength;
    return n;
  };
  std::vector<CdxNode> level;
  node(level, kCdxLeaf);
  std::size_t keyBytes = 0;
  std::uint32_t maxRecno = 0;
  for (const auto& e : entries) {
    CdxNode* leaf = &level.back();
    const std::string_view previous =
        leaf->empty() ? std::string_view() : leaf->key(leaf->size() - 1);
    std::size_t stored = CdxStoredBytes(previous, e.key, form_);
    if (CdxLeafBytes(leaf->size() + 1, std::max(maxRecno, e.recno), keyBytes + stored, form_) >
        kCdxLeafArea) {
      leaf = &node(level, kCdxLeaf);
      stored = CdxStoredBytes({}, e.key, form_);
      keyBytes = 0;
      maxRecno = 0;
    }
    keyBytes += stored;
    maxRecno = std::max(maxRecno, e.recno);
    leaf->Append(e.key, e.recno);
  }
  entries = {};
  // Then the levels above, until one node holds them all.
  const std::size_t fanout = CdxInnerCapacity(keyLength);
  while (true) {
    if (!WriteLevel(level)) return false;
    if (level.size() == 1) return SetRoot(level[0].offset);
    std::vector<CdxNode> up;
    for (const CdxNode& n : level) {
      if (up.empty() || up.back().size() == fanout) node(up, 0);
      up.back().Append(n.key(0), n.recnos[0], n.offset);
    }
    level = std::move(up);
  }
}

// Gives the nodes of one level their offsets and sibling links and writes
// them; a level of one node is the root.
bool CdxTag::WriteLevel(std::vector<CdxNode>& nodes) {
  // Nodes from the free list first, then new ones at the end of the file
  // (not written twice: each is written whole below).
  for (CdxNode& n : nodes) {
    if (!file_.Alloc(n.offset, 1, false)) return false;
  }
  // Nodes at consecutive offsets are written in one run.
  std::vector<unsigned char> run;
  std::uint32_t runAt = 0;
  const auto write = [&] {
    if (run.empty()) return true;
    const bool ok = file_.WritePages(runAt, run.data(), run.size());
    run.clear();
    return ok;
  };
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    CdxNode& n = nodes[i];
    n.left = i > 0 ? nodes[i - 1].offset : kCdxNone;
    n.right = i + 1 < nodes.size() ? nodes[i + 1].offset : kCdxNone;
    if (nodes.size() == 1) n.attributes = static_cast<std::uint16_t>(n.attributes | kCdxRoot);
    if (!run.empty() && (n.offset != runAt + run.size() || run.size() >= (256u << 10)) &&
        !write()) {
      return false;
    }
    if (run.empty()) runAt = n.offset;
    run.resize(run.size() + kCdxPageSize);
    if (!EncodeCdxNode(n, form_, run.data() + run.size() - kCdxPageSize)) {
      return file_.Bad("index node overfull");
    }
    cache_.Erase(n.offset);
  }
  if (!write()) return false;
  // The nodes stay in the cache as written (the first updates after a
  // build need not read them again); the upper levels need only each
  // node's last entry and offset.
  for (CdxNode& n : nodes) {
    CdxNode& kept = cache_.Slot(n.offset);
    kept = std::move(n);
    n = CdxNode{};
    n.offset = kept.offset;
    n.keyLength = kept.keyLength;
    if (!kept.empty()) n.Append(kept.key(kept.size() - 1), kept.recnos.back());
  }
  return true;
}

}  // namespace talvi::dbf
