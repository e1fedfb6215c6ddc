// SPDX-License-Identifier: MIT
// NTX updates: insertion with page splits, removal with borrowing from a
// sibling or merging, so that every page but the root keeps at least half
// a page of items.
#include "dbf/codes.h"
#include "dbf/ntx.h"
#include "dbf/raise.h"

namespace talvi::dbf {
namespace {
constexpr int kMaxDepth = 32;
}

bool NtxFile::Insert(const IndexEntry& entry, bool* added) {
  if (added) *added = false;
  if (read_only_) return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_));
  Hold hold(*this);
  if (!hold.ok()) return false;
  IndexEntry e = entry;
  e.key.resize(header_.key_size, ' ');
  if (header_.unique) {
    std::optional<IndexEntry> same;
    if (!SeekForward(KeyProbe{e.key, 0}, false, same)) return false;
    if (same && same->key == e.key) return true;
  }
  Split up;
  if (!InsertInto(header_.root, e, 0, up)) return false;
  if (up.happened) {
    Page root;
    if (!AllocPage(root.offset)) return false;
    root.items.push_back(up.median);
    root.right = header_.root;
    if (!WritePage(root)) return false;
    header_.root = root.offset;
  }
  if (added) *added = true;
  return Changed();
}

bool NtxFile::InsertInto(std::uint32_t offset, const IndexEntry& entry, int depth, Split& up) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  Page p;
  if (!ReadPage(offset, p)) return false;
  std::size_t i = 0;
  while (i < p.items.size() && CompareItem(p.items[i], entry) < 0) ++i;
  if (p.leaf()) {
    p.items.insert(p.items.begin() + static_cast<std::ptrdiff_t>(i),
                   Item{0, entry.recno, entry.key});
  } else {
    Split below;
    if (!InsertInto(p.child(i), entry, depth + 1, below)) return false;
    if (!below.happened) return true;
    p.items.insert(p.items.begin() + static_cast<std::ptrdiff_t>(i), below.median);
  }
  up.happened = false;
  if (p.items.size() > header_.max_items) {
    // The lower half moves to a new page, the upper half stays here, so
    // that the parent's pointer to this page stays right.
    const std::size_t h = p.items.size() / 2;
    Page left;
    if (!AllocPage(left.offset)) return false;
    left.items.assign(p.items.begin(), p.items.begin() + static_cast<std::ptrdiff_t>(h));
    left.right = p.items[h].child;
    up.median = p.items[h];
    up.median.child = left.offset;
    up.happened = true;
    p.items.erase(p.items.begin(), p.items.begin() + static_cast<std::ptrdiff_t>(h) + 1);
    if (!WritePage(left)) return false;
  }
  return WritePage(p);
}

bool NtxFile::Remove(const IndexEntry& entry, bool* removed) {
  if (removed) *removed = false;
  if (read_only_) return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_));
  Hold hold(*this);
  if (!hold.ok()) return false;
  IndexEntry e = entry;
  e.key.resize(header_.key_size, ' ');
  bool done = false;
  if (!RemoveFrom(header_.root, e, 0, done)) return false;
  if (!done) return true;
  Page root;
  if (!ReadPage(header_.root, root)) return false;
  if (root.items.empty() && !root.leaf()) {
    const std::uint32_t old = header_.root;
    header_.root = root.right;
    if (!FreePage(old)) return false;
  }
  if (removed) *removed = true;
  return Changed();
}

bool NtxFile::RemoveFrom(std::uint32_t offset, const IndexEntry& entry, int depth, bool& removed) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  Page p;
  if (!ReadPage(offset, p)) return false;
  std::size_t i = 0;
  int c = -1;
  while (i < p.items.size() && (c = CompareItem(p.items[i], entry)) < 0) ++i;
  const bool here = i < p.items.size() && c == 0;
  if (p.leaf()) {
    if (!here) return true;
    p.items.erase(p.items.begin() + static_cast<std::ptrdiff_t>(i));
    removed = true;
    return WritePage(p);
  }
  if (here) {
    // An inner entry gives way to the largest entry below its left child.
    Item last;
    if (!RemoveMax(p.items[i].child, depth + 1, last)) return false;
    p.items[i].key = last.key;
    p.items[i].recno = last.recno;
    removed = true;
  } else {
    if (!RemoveFrom(p.child(i), entry, depth + 1, removed)) return false;
    if (!removed) return true;
  }
  if (!FixChild(p, i)) return false;
  return WritePage(p);
}

bool NtxFile::RemoveMax(std::uint32_t offset, int depth, Item& out) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  Page p;
  if (!ReadPage(offset, p)) return false;
  if (p.leaf()) {
    if (p.items.empty()) return Bad("empty index page below the root");
    out = p.items.back();
    p.items.pop_back();
    return WritePage(p);
  }
  const std::size_t i = p.items.size();
  if (!RemoveMax(p.right, depth + 1, out)) return false;
  if (!FixChild(p, i)) return false;
  return WritePage(p);
}

// Child i of `parent` may have fallen below half a page: it borrows an
// item through the parent from a sibling that can spare one, or merges
// with a sibling. `parent` is changed in memory; the caller writes it.
bool NtxFile::FixChild(Page& parent, std::size_t i) {
  Page c;
  if (!ReadPage(parent.child(i), c)) return false;
  if (c.items.size() >= header_.half_page) return true;
  const std::size_t n = parent.items.size();
  if (i > 0) {
    Page l;
    if (!ReadPage(parent.child(i - 1), l)) return false;
    Item& sep = parent.items[i - 1];
    if (l.items.size() > header_.half_page) {
      std::vector<Item> items;
      items.reserve(c.items.size() + 1);
      items.push_back(Item{l.right, sep.recno, sep.key});
      for (auto& it : c.items) items.push_back(std::move(it));
      c.items = std::move(items);
      const Item moved = l.items.back();
      l.items.pop_back();
      l.right = moved.child;
      sep.key = moved.key;
      sep.recno = moved.recno;
      return WritePage(l) && WritePage(c);
    }
    // Merge l, the separator and c into c (which the parent's next
    // pointer already names); l goes to the free list.
    std::vector<Item> merged = std::move(l.items);
    merged.push_back(Item{l.right, sep.recno, sep.key});
    merged.insert(merged.end(), c.items.begin(), c.items.end());
    c.items = std::move(merged);
    const std::uint32_t gone = l.offset;
    parent.items.erase(parent.items.begin() + static_cast<std::ptrdiff_t>(i) - 1);
    return WritePage(c) && FreePage(gone);
  }
  if (i < n) {
    Page r;
    if (!ReadPage(parent.child(i + 1), r)) return false;
    Item& sep = parent.items[i];
    if (r.items.size() > header_.half_page) {
      c.items.push_back(Item{c.right, sep.recno, sep.key});
      const Item moved = r.items.front();
      r.items.erase(r.items.begin());
      c.right = moved.child;
      sep.key = moved.key;
      sep.recno = moved.recno;
      return WritePage(r) && WritePage(c);
    }
    // Merge c, the separator and r into r; c goes to the free list.
    std::vector<Item> merged = std::move(c.items);
    merged.push_back(Item{c.right, sep.recno, sep.key});
    merged.insert(merged.end(), r.items.begin(), r.items.end());
    r.items = std::move(merged);
    const std::uint32_t gone = c.offset;
    parent.items.erase(parent.items.begin() + static_cast<std::ptrdiff_t>(i));
    return WritePage(r) && FreePage(gone);
  }
  return true;  // an only child: the root above it is handled by Remove
}

}  // namespace talvi::dbf
