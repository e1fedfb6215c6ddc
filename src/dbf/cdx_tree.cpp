// SPDX-License-Identifier: MIT
// The B+ tree of one CDX tag: searches, the walk, insertion with node
// splits and removal. Inner entries are the last entry of their child, so
// a search goes down to the first child whose last entry is not before
// what it looks for. A node that empties leaves the tree (its siblings are
// linked past it); nodes are not merged otherwise, a reindex packs them.
#include <algorithm>

#include "dbf/cdx.h"
#include "dbf/codes.h"
#include "dbf/raise.h"

namespace talvi::dbf {
namespace {

constexpr int kMaxDepth = 32;  // deeper than any real tree: a cycle

// The first entry of `n` for which `before(key, recno)` is false; the
// entries for which it is true come first.
template <class Before>
std::size_t PartitionPoint(const CdxNode& n, Before before) {
  std::size_t lo = 0, hi = n.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (before(n.key(mid), n.recnos[mid])) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

CdxTag::CdxTag(CdxFile& file, std::uint32_t header, const CdxTagInfo& info)
    : file_(file), header_(header), info_(info) {
  form_.keyLength = info.keyLength;
  SetKeyType(info.type);
}

void CdxTag::SetKeyType(char type) {
  info_.type = type;
  const bool text = type == 'C' || type == 'L';
  form_.filler = text ? ' ' : '\0';
  form_.trimTrailing = text;
  cache_.Clear();
}

bool CdxTag::Root(std::uint32_t& root) {
  if (gone_) return Gone();  // its pages may be another tag's by now
  if (generation_ != file_.generation_) {
    cache_.Clear();
    unsigned char b[CdxFile::kHeadRead];
    if (!file_.ReadBytes(header_, b, sizeof b)) return false;
    root_ = Le32(b);
    generation_ = file_.generation_;
  }
  root = root_;
  return true;
}

bool CdxTag::SetRoot(std::uint32_t root) {
  unsigned char b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>((root >> (8 * i)) & 0xFF);
  if (!file_.WriteBytes(header_, b, sizeof b)) return false;
  root_ = root;
  return true;
}

CdxNode* CdxTag::Node(std::uint32_t offset) {
  if (CdxNode* n = cache_.Find(offset)) return n;
  unsigned char page[kCdxPageSize];
  if (!file_.ReadPage(offset, page)) return nullptr;
  std::string why;
  CdxNode& n = cache_.Slot(offset);
  if (!DecodeCdxNode(page, form_, n, why)) {
    cache_.Erase(offset);
    file_.Bad(why);
    return nullptr;
  }
  n.offset = offset;
  return &n;
}

bool CdxTag::Read(std::uint32_t offset, CdxNode& node) {
  const CdxNode* n = Node(offset);
  if (!n) return false;
  node = *n;
  return true;
}

bool CdxTag::WriteNode(const CdxNode& node) {
  unsigned char page[kCdxPageSize];
  if (!EncodeCdxNode(node, form_, page)) {
    // A node written before the table grew (a sibling link changed, say)
    // keeps the record-number width its own entries need.
    CdxKeyForm own = form_;
    own.recnoFloor = 0;
    if (!EncodeCdxNode(node, own, page)) return file_.Bad("index node overfull");
  }
  if (!file_.WritePage(node.offset, page)) {
    cache_.Clear();
    return false;
  }
  return true;
}

bool CdxTag::Write(CdxNode node) {
  if (!WriteNode(node)) return false;
  cache_.Slot(node.offset) = std::move(node);
  return true;
}

bool CdxTag::PathTo(const IndexEntry& entry, std::vector<Step>& path) {
  path.clear();
  std::uint32_t at = 0;
  if (!Root(at)) return false;
  const KeyProbe probe{entry.key, entry.recno};
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    CdxNode* n = Node(at);
    if (!n) return false;
    const std::size_t i = PartitionPoint(*n, [&](std::string_view key, std::uint32_t recno) {
      return CompareToProbe(key, recno, probe, key_size()) < 0;
    });
    if (n->leaf()) {
      path.push_back({at, i, n});
      return true;
    }
    path.push_back({at, std::min(i, n->size() - 1), n});
    at = n->children[path.back().index];
  }
}

bool CdxTag::SetSibling(std::uint32_t offset, bool left, std::uint32_t to) {
  CdxNode* n = Node(offset);
  if (!n) return false;
  (left ? n->left : n->right) = to;
  return WriteNode(*n);
}

// Writes path[level] after a change, splitting it when it no longer fits
// a node, and carries a changed last entry (or a new node) up.
bool CdxTag::Store(std::vector<Step>& path, std::size_t level) {
  CdxNode& node = *path[level].node;
  unsigned char page[kCdxPageSize];
  if (EncodeCdxNode(node, form_, page)) {
    if (!file_.WritePage(node.offset, page)) {
      cache_.Clear();
      return false;
    }
    if (level == 0 || node.empty()) return true;
    Step& parent = path[level - 1];
    const std::size_t last = node.size() - 1;
    if (parent.node->Is(parent.index, node.key(last), node.recnos[last])) return true;
    parent.node->Set(parent.index, node.key(last), node.recnos[last]);
    return Store(path, level - 1);
  }
  // Split: the lower part moves to a new node on the left, so that the
  // parent's pointer to this node and its last entry stay right.
  const std::size_t n = node.size();
  // Keys added at the end of the rightmost node (appends in key order)
  // leave the lower node full instead of half full.
  const bool appending = node.right == kCdxNone && path[level].index + (node.leaf() ? 1 : 2) == n;
  const std::size_t middle = appending ? n - 1 : n / 2;
  std::size_t cut = 0;
  for (std::size_t d = 0; d < n && cut == 0; ++d) {
    for (const std::size_t c : {middle - std::min(d, middle), middle + d}) {
      if (c != 0 && c < n && CdxFits(node, 0, c, form_) && CdxFits(node, c, n, form_)) {
        cut = c;
        break;
      }
    }
  }
  if (cut == 0) return file_.Bad("index key does not fit a node");
  // New nodes are written whole at once, not blanked first.
  CdxNode lower;
  lower.attributes = static_cast<std::uint16_t>(node.attributes & ~kCdxRoot);
  if (!file_.Alloc(lower.offset, 1, false)) return false;
  node.MoveFront(cut, lower);
  lower.left = node.left;
  lower.right = node.offset;
  node.left = lower.offset;
  node.attributes = static_cast<std::uint16_t>(node.attributes & ~kCdxRoot);
  if (!WriteNode(lower)) return false;
  if (lower.left != kCdxNone && !SetSibling(lower.left, false, lower.offset)) return false;
  if (!WriteNode(node)) return false;
  const std::string lowerLast(lower.key(lower.size() - 1));
  const std::uint32_t lowerRecno = lower.recnos.back(), lowerAt = lower.offset;
  cache_.Slot(lowerAt) = std::move(lower);
  if (level == 0) {
    CdxNode root;
    if (!file_.Alloc(root.offset, 1, false)) return false;
    root.attributes = kCdxRoot;
    root.keyLength = key_size();
    root.Append(lowerLast, lowerRecno, lowerAt);
    root.Append(node.key(node.size() - 1), node.recnos.back(), node.offset);
    const std::uint32_t rootAt = root.offset;
    return Write(std::move(root)) && SetRoot(rootAt);
  }
  CdxNode& parent = *path[level - 1].node;
  const std::size_t pi = path[level - 1].index;
  parent.Set(pi, node.key(node.size() - 1), node.recnos.back());
  parent.Insert(pi, lowerLast, lowerRecno, lowerAt);
  return Store(path, level - 1);
}

bool CdxTag::Insert(const IndexEntry& entry, bool* added) {
  if (added) *added = false;
  CdxFile::Hold hold(file_, true);
  if (!hold.ok()) return false;
  if (InsertLocked(entry, added)) return true;
  generation_ = ~std::uint64_t{0};  // nodes changed in the cache may not be written
  return false;
}

bool CdxTag::InsertLocked(const IndexEntry& entry, bool* added) {
  IndexEntry e = entry;
  e.key.resize(key_size(), form_.filler);
  if (info_.unique) {
    std::optional<IndexEntry> same;
    if (!SeekForwardLocked(KeyProbe{e.key, 0}, false, same)) return false;
    if (same && same->key == e.key) return true;
  }
  std::vector<Step> path;
  if (!PathTo(e, path)) return false;
  path.back().node->Insert(path.back().index, e.key, e.recno);
  if (!Store(path, path.size() - 1)) return false;
  if (added) *added = true;
  return true;
}

// path[level] has emptied: it leaves its level and its parent.
bool CdxTag::Unlink(std::vector<Step>& path, std::size_t level) {
  const std::uint32_t offset = path[level].offset;
  const std::uint32_t left = path[level].node->left, right = path[level].node->right;
  if (left != kCdxNone && !SetSibling(left, false, right)) return false;
  if (right != kCdxNone && !SetSibling(right, true, left)) return false;
  cache_.Erase(offset);
  if (!file_.Free(offset)) return false;
  CdxNode& parent = *path[level - 1].node;
  parent.Erase(path[level - 1].index);
  if (!parent.empty()) return Store(path, level - 1);
  if (level - 1 > 0) return Unlink(path, level - 1);
  parent.attributes = kCdxRoot | kCdxLeaf;  // the tree is empty
  parent.children.clear();
  return WriteNode(parent);
}

// A root with a single child gives way to it.
bool CdxTag::Shrink() {
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    std::uint32_t at = 0;
    const CdxNode* root = nullptr;
    if (!Root(at) || !(root = Node(at))) return false;
    if (root->leaf() || root->size() != 1) return true;
    CdxNode child;
    if (!Read(root->children[0], child)) return false;
    child.attributes = static_cast<std::uint16_t>(child.attributes | kCdxRoot);
    child.left = child.right = kCdxNone;
    cache_.Erase(at);
    const std::uint32_t childAt = child.offset;
    if (!Write(std::move(child)) || !SetRoot(childAt) || !file_.Free(at)) return false;
  }
  return file_.Bad("index nodes form a cycle");
}

bool CdxTag::Remove(const IndexEntry& entry, bool* removed) {
  if (removed) *removed = false;
  CdxFile::Hold hold(file_, true);
  if (!hold.ok()) return false;
  if (RemoveLocked(entry, removed)) return true;
  generation_ = ~std::uint64_t{0};  // nodes changed in the cache may not be written
  return false;
}

bool CdxTag::RemoveLocked(const IndexEntry& entry, bool* removed) {
  IndexEntry e = entry;
  e.key.resize(key_size(), form_.filler);
  std::vector<Step> path;
  if (!PathTo(e, path)) return false;
  CdxNode& leaf = *path.back().node;
  const std::size_t i = path.back().index;
  if (i >= leaf.size() || !leaf.Is(i, e.key, e.recno)) return true;
  leaf.Erase(i);
  const bool ok = leaf.empty() && path.size() > 1 ? Unlink(path, path.size() - 1)
                                                  : Store(path, path.size() - 1);
  if (!ok || !Shrink()) return false;
  if (removed) *removed = true;
  return true;
}

bool CdxTag::SeekForward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) {
  CdxFile::Hold hold(file_, false);
  found.reset();
  return hold.ok() && SeekForwardLocked(probe, strict, found);
}

bool CdxTag::SeekForwardLocked(const KeyProbe& probe, bool strict,
                               std::optional<IndexEntry>& found) {
  found.reset();
  // Entries are in order: the ones not after the probe come first.
  const auto notAfter = [&](std::string_view key, std::uint32_t recno) {
    const int c = CompareToProbe(key, recno, probe, key_size());
    return strict ? c <= 0 : c < 0;
  };
  std::uint32_t at = 0;
  if (!Root(at)) return false;
  const CdxNode* n = nullptr;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    if (!(n = Node(at))) return false;
    if (n->leaf()) break;
    const std::size_t i = PartitionPoint(*n, notAfter);
    if (i == n->size()) return true;
    at = n->children[i];
  }
  // More sibling steps than the file has nodes would be a cycle.
  for (std::uint64_t hop = 0; hop <= file_.fileSize_ / kCdxPageSize; ++hop) {
    const std::size_t i = PartitionPoint(*n, notAfter);
    if (i < n->size()) {
      found = n->entry(i);
      return true;
    }
    if (n->right == kCdxNone) return true;
    if (!(n = Node(n->right))) return false;
  }
  return file_.Bad("index leaves form a cycle");
}

bool CdxTag::SeekBackward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) {
  CdxFile::Hold hold(file_, false);
  found.reset();
  if (!hold.ok()) return false;
  const auto before = [&](std::string_view key, std::uint32_t recno) {
    const int c = CompareToProbe(key, recno, probe, key_size());
    return strict ? c < 0 : c <= 0;
  };
  std::uint32_t at = 0;
  if (!Root(at)) return false;
  const CdxNode* n = nullptr;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    if (!(n = Node(at))) return false;
    if (n->leaf()) break;
    // The first child whose last entry is not before the probe, or the last.
    at = n->children[std::min(PartitionPoint(*n, before), n->size() - 1)];
  }
  // More sibling steps than the file has nodes would be a cycle.
  for (std::uint64_t hop = 0; hop <= file_.fileSize_ / kCdxPageSize; ++hop) {
    const std::size_t i = PartitionPoint(*n, before);
    if (i > 0) {
      found = n->entry(i - 1);
      return true;
    }
    if (n->left == kCdxNone) return true;
    if (!(n = Node(n->left))) return false;
  }
  return file_.Bad("index leaves form a cycle");
}

bool CdxTag::Walk(const std::function<bool(const IndexEntry&)>& visit) {
  CdxFile::Hold hold(file_, false);
  if (!hold.ok()) return false;
  std::uint32_t root = 0;
  if (!Root(root)) return false;
  std::vector<std::uint32_t> seen;
  bool goOn = true;
  return WalkNode(root, 0, seen, visit, goOn);
}

bool CdxTag::WalkNode(std::uint32_t offset, int depth, std::vector<std::uint32_t>& seen,
                      const std::function<bool(const IndexEntry&)>& visit, bool& goOn) {
  if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
  const auto pos = std::lower_bound(seen.begin(), seen.end(), offset);
  if (pos != seen.end() && *pos == offset) return file_.Bad("index node reached twice");
  seen.insert(pos, offset);
  // A copy: `visit` may search the tree, and a fault there drops the cache.
  CdxNode n;
  if (!Read(offset, n)) return false;
  for (std::size_t i = 0; i < n.size() && goOn; ++i) {
    if (n.leaf()) {
      goOn = visit(n.entry(i));
    } else if (!WalkNode(n.children[i], depth + 1, seen, visit, goOn)) {
      return false;
    }
  }
  return true;
}

bool CdxTag::Depth(int& depth) {
  CdxFile::Hold hold(file_, false);
  depth = 0;
  std::uint32_t at = 0;
  if (!hold.ok() || !Root(at)) return false;
  for (const CdxNode* n = nullptr;; at = n->children[0]) {
    if (++depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    if (!(n = Node(at))) return false;
    if (n->leaf()) return true;
  }
}

bool CdxTag::FreeTree(std::uint32_t offset, int depth) {
  if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
  CdxNode n;
  if (!Read(offset, n)) return false;
  for (std::uint32_t child : n.children) {
    if (!FreeTree(child, depth + 1)) return false;
  }
  cache_.Erase(offset);
  return file_.Free(offset);
}

bool CdxTag::Clear() {
  CdxFile::Hold hold(file_, true);
  std::uint32_t root = 0;
  if (!hold.ok() || !Root(root) || !FreeTree(root, 0)) return false;
  CdxNode empty;
  if (!file_.Alloc(empty.offset)) return false;
  const std::uint32_t at = empty.offset;
  return Write(std::move(empty)) && SetRoot(at);
}

bool CdxTag::Flush() {
  if (!file_.WritePending()) return false;
  if (!file_.file_->Flush(false)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(file_.path_).Os(file_.file_->LastError()));
  }
  return true;
}

}  // namespace talvi::dbf
