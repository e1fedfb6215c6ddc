// SPDX-License-Identifier: MIT
// NTX updates: insertion with page splits, removal with borrowing from a
// sibling or merging, so that every page but the root keeps at least half
// a page of items. Pages are changed in place in the cache (ntx_page.h)
// and written from there.
#include <algorithm>
#include <array>
#include <vector>

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
  if (InsertLocked(entry, added)) return true;
  cache_.Clear();  // pages changed in the cache may not be written
  return false;
}

bool NtxFile::InsertLocked(const IndexEntry& entry, bool* added) {
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
    std::uint32_t at = 0;
    if (!AllocPage(at)) return false;
    Page& root = NewPage(at, header_.root);
    layout_.Insert(root, 0, up.median.child, up.median.recno, up.median.key);
    if (!WritePage(root)) return false;
    header_.root = at;
  }
  if (added) *added = true;
  return Changed();
}

bool NtxFile::InsertInto(std::uint32_t offset, const IndexEntry& entry, int depth, Split& up) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  Page* p = PageAt(offset);
  if (!p) return false;
  bool here = false;
  const std::size_t i = Find(*p, entry, here);
  Item item{0, entry.recno, entry.key};
  if (!layout_.Leaf(*p)) {
    Split below;
    if (!InsertInto(layout_.Child(*p, i), entry, depth + 1, below)) return false;
    if (!below.happened) return true;
    // A damaged tree can name this page again below it (from its free
    // list): the update stops rather than splice past the items.
    if (i > NtxLayout::Count(*p)) return Bad("index page changed under its update");
    item = std::move(below.median);
  }
  up.happened = false;
  if (NtxLayout::Count(*p) < header_.max_items) {
    layout_.Insert(*p, i, item.child, item.recno, item.key);
    return WritePage(*p);
  }
  return SplitPage(*p, i, item, up);
}

// `page` is full and `item` goes before its item `at`: the lower half
// moves to a new page, the upper half stays, so that the parent's pointer
// to this page stays right, and the item between them goes up.
bool NtxFile::SplitPage(Page& page, std::size_t at, const Item& item, Split& up) {
  const std::size_t size = layout_.item_size();
  const std::size_t n = NtxLayout::Count(page);
  // The n + 1 items and the item with the rightmost child, in order.
  // (They fill a page but for one item: twice a page holds them.)
  std::array<unsigned char, 2 * kNtxPageSize> all;
  std::memcpy(all.data(), layout_.Item(page, 0), at * size);
  layout_.PutItem(all.data() + at * size, item.child, item.recno, item.key);
  std::memcpy(all.data() + (at + 1) * size, layout_.Item(page, at), (n + 1 - at) * size);
  const auto child = [&](std::size_t i) { return NtxLayout::Get32(all.data() + i * size); };
  const std::size_t h = (n + 1) / 2;
  std::uint32_t left_at = 0;
  if (!AllocPage(left_at)) return false;
  if (left_at == page.offset) return Bad("index free list names a page in use");
  Page& left = NewPage(left_at, 0);
  layout_.Splice(left, 0, all.data(), h);
  layout_.SetChild(left, h, child(h));
  const unsigned char* median = all.data() + h * size;
  up.median = Item{left_at, NtxLayout::Get32(median + 4),
                   std::string(reinterpret_cast<const char*>(median + 8), header_.key_size)};
  up.happened = true;
  layout_.Init(page, 0);
  layout_.Splice(page, 0, all.data() + (h + 1) * size, n - h);
  layout_.SetChild(page, n - h, child(n + 1));
  return WritePage(left) && WritePage(page);
}

bool NtxFile::Remove(const IndexEntry& entry, bool* removed) {
  if (removed) *removed = false;
  if (read_only_) return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_));
  Hold hold(*this);
  if (!hold.ok()) return false;
  const bool ok = RemoveLocked(entry, removed);
  for (const std::uint32_t offset : freed_) cache_.Erase(offset);
  freed_.clear();
  if (!ok) cache_.Clear();  // pages changed in the cache may not be written
  return ok;
}

bool NtxFile::RemoveLocked(const IndexEntry& entry, bool* removed) {
  IndexEntry e = entry;
  e.key.resize(header_.key_size, ' ');
  bool done = false;
  if (!RemoveFrom(header_.root, e, 0, done)) return false;
  if (!done) return true;
  const Page* root = PageAt(header_.root);
  if (!root) return false;
  if (NtxLayout::Count(*root) == 0 && !layout_.Leaf(*root)) {
    const std::uint32_t old = header_.root;
    header_.root = layout_.Child(*root, 0);
    if (!FreePage(old)) return false;
  }
  if (removed) *removed = true;
  return Changed();
}

bool NtxFile::RemoveFrom(std::uint32_t offset, const IndexEntry& entry, int depth, bool& removed) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  Page* p = PageAt(offset);
  if (!p) return false;
  bool here = false;
  const std::size_t i = Find(*p, entry, here);
  if (layout_.Leaf(*p)) {
    if (!here) return true;
    layout_.Erase(*p, i);
    removed = true;
    return WritePage(*p);
  }
  if (here) {
    // An inner entry gives way to the largest entry below its left child.
    Item last;
    if (!RemoveMax(layout_.Child(*p, i), depth + 1, last)) return false;
    layout_.SetEntry(*p, i, last.recno, last.key);
    removed = true;
  } else {
    if (!RemoveFrom(layout_.Child(*p, i), entry, depth + 1, removed)) return false;
    if (!removed) return true;
  }
  if (!FixChild(*p, i)) return false;
  return WritePage(*p);
}

bool NtxFile::RemoveMax(std::uint32_t offset, int depth, Item& out) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  Page* p = PageAt(offset);
  if (!p) return false;
  const std::size_t n = NtxLayout::Count(*p);
  if (layout_.Leaf(*p)) {
    if (n == 0) return Bad("empty index page below the root");
    out = ItemOf(*p, n - 1);
    layout_.Erase(*p, n - 1);
    return WritePage(*p);
  }
  if (!RemoveMax(layout_.Child(*p, n), depth + 1, out)) return false;
  if (!FixChild(*p, n)) return false;
  return WritePage(*p);
}

// Child i of `parent` may have fallen below half a page: it borrows an
// item through the parent from a sibling that can spare one, or merges
// with a sibling. `parent` is changed in the cache; the caller writes it.
//
// In a damaged tree the pages met here need not be distinct, and the
// parent may have been changed below it: every count is read here, and
// the fill the header names is used only as far as two pages of it and a
// separator fit one page, so that no splice outgrows its page.
bool NtxFile::FixChild(Page& parent, std::size_t i) {
  const std::size_t n = NtxLayout::Count(parent);
  if (i > n) return Bad("index page changed under its update");
  Page* c = PageAt(layout_.Child(parent, i));
  if (!c) return false;
  if (c == &parent) return Bad("index page reached twice");
  const std::size_t half = std::min<std::size_t>(header_.half_page, header_.max_items / 2);
  const std::size_t nc = NtxLayout::Count(*c);
  if (nc >= half) return true;
  if (i > 0) {
    Page* l = PageAt(layout_.Child(parent, i - 1));
    if (!l) return false;
    if (l == c || l == &parent) return Bad("index page reached twice");
    const std::size_t nl = NtxLayout::Count(*l);
    const Item sep = ItemOf(parent, i - 1);
    if (nl > half) {
      // The separator comes down in front of c; l's last item goes up.
      layout_.Insert(*c, 0, layout_.Child(*l, nl), sep.recno, sep.key);
      const Item moved = ItemOf(*l, nl - 1);
      layout_.Erase(*l, nl - 1);
      layout_.SetChild(*l, nl - 1, moved.child);
      layout_.SetEntry(parent, i - 1, moved.recno, moved.key);
      return WritePage(*l) && WritePage(*c);
    }
    // Merge l, the separator and c into c (which the parent's next
    // pointer already names); l goes to the free list.
    std::vector<unsigned char> front((nl + 1) * layout_.item_size());
    std::memcpy(front.data(), layout_.Item(*l, 0), front.size());
    layout_.PutItem(front.data() + nl * layout_.item_size(), layout_.Child(*l, nl), sep.recno,
                    sep.key);
    layout_.Splice(*c, 0, front.data(), nl + 1);
    const std::uint32_t gone = l->offset;
    layout_.Erase(parent, i - 1);
    return WritePage(*c) && FreePage(gone);
  }
  if (i < n) {
    Page* r = PageAt(layout_.Child(parent, i + 1));
    if (!r) return false;
    if (r == c || r == &parent) return Bad("index page reached twice");
    const std::size_t nr = NtxLayout::Count(*r);
    const Item sep = ItemOf(parent, i);
    if (nr > half) {
      // The separator comes down at the end of c; r's first item goes up.
      layout_.Insert(*c, nc, layout_.Child(*c, nc), sep.recno, sep.key);
      const Item moved = ItemOf(*r, 0);
      layout_.Erase(*r, 0);
      layout_.SetChild(*c, nc + 1, moved.child);
      layout_.SetEntry(parent, i, moved.recno, moved.key);
      return WritePage(*r) && WritePage(*c);
    }
    // Merge c, the separator and r into r; c goes to the free list.
    std::vector<unsigned char> front((nc + 1) * layout_.item_size());
    std::memcpy(front.data(), layout_.Item(*c, 0), front.size());
    layout_.PutItem(front.data() + nc * layout_.item_size(), layout_.Child(*c, nc), sep.recno,
                    sep.key);
    layout_.Splice(*r, 0, front.data(), nc + 1);
    const std::uint32_t gone = c->offset;
    layout_.Erase(parent, i);
    return WritePage(*r) && FreePage(gone);
  }
  return true;  // an only child: the root above it is handled by Remove
}

}  // namespace talvi::dbf
