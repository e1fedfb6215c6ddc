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
  cache_.clear();
}

bool CdxTag::Root(std::uint32_t& root) {
  if (gone_) return Gone();  // its pages may be another tag's by now
  if (generation_ != file_.generation_) {
    cache_.clear();
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

const CdxNode* CdxTag::Node(std::uint32_t offset) {
  auto it = cache_.find(offset);
  if (it != cache_.end()) return &it->second;
  unsigned char page[kCdxPageSize];
  if (!file_.ReadPage(offset, page)) return nullptr;
  std::string why;
  CdxNode node;
  if (!DecodeCdxNode(page, form_, node, why)) {
    file_.Bad(why);
    return nullptr;
  }
  node.offset = offset;
  return &(cache_[offset] = std::move(node));
}

bool CdxTag::Read(std::uint32_t offset, CdxNode& node) {
  const CdxNode* n = Node(offset);
  if (!n) return false;
  node = *n;
  return true;
}

bool CdxTag::Write(const CdxNode& node) {
  unsigned char page[kCdxPageSize];
  if (!EncodeCdxNode(node, form_, page)) {
    // A node written before the table grew (a sibling link changed, say)
    // keeps the record-number width its own entries need.
    CdxKeyForm own = form_;
    own.recnoFloor = 0;
    if (!EncodeCdxNode(node, own, page)) return file_.Bad("index node overfull");
  }
  if (!file_.WritePage(node.offset, page)) {
    cache_.clear();
    return false;
  }
  cache_[node.offset] = node;
  return true;
}

bool CdxTag::PathTo(const IndexEntry& entry, std::vector<Step>& path) {
  path.clear();
  std::uint32_t at = 0;
  if (!Root(at)) return false;
  const KeyProbe probe{entry.key, entry.recno};
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    const CdxNode* n = Node(at);
    if (!n) return false;
    Step s;
    s.offset = at;
    const auto& es = n->entries;
    const auto i = static_cast<std::size_t>(
        std::partition_point(es.begin(), es.end(),
                             [&](const IndexEntry& x) {
                               return CompareToProbe(x.key, x.recno, probe, key_size()) < 0;
                             }) -
        es.begin());
    if (n->leaf()) {
      s.index = i;
      s.node = *n;  // the leaf always changes
      s.own = true;
      path.push_back(std::move(s));
      return true;
    }
    s.index = std::min(i, es.size() - 1);
    at = n->children[s.index];
    path.push_back(std::move(s));
  }
}

bool CdxTag::Own(Step& step) {
  if (step.own) return true;
  step.own = Read(step.offset, step.node);
  return step.own;
}

bool CdxTag::SetSibling(std::uint32_t offset, bool left, std::uint32_t to) {
  CdxNode n;
  if (!Read(offset, n)) return false;
  (left ? n.left : n.right) = to;
  return Write(n);
}

// Writes path[level] after a change, splitting it when it no longer fits
// a node, and carries a changed last entry (or a new node) up.
bool CdxTag::Store(std::vector<Step>& path, std::size_t level) {
  CdxNode& node = path[level].node;
  unsigned char page[kCdxPageSize];
  if (EncodeCdxNode(node, form_, page)) {
    if (!file_.WritePage(node.offset, page)) return false;
    bool carry = false;
    if (level > 0 && !node.entries.empty()) {
      Step& parent = path[level - 1];
      const CdxNode* seen = parent.own ? &parent.node : Node(parent.offset);
      if (!seen) return false;
      carry = !(seen->entries[parent.index] == node.entries.back());
      if (carry) {
        if (!Own(parent)) return false;
        parent.node.entries[parent.index] = node.entries.back();
      }
    }
    cache_[node.offset] = std::move(node);  // the path is done with this level
    path[level].own = false;
    return !carry || Store(path, level - 1);
  }
  // Split: the lower part moves to a new node on the left, so that the
  // parent's pointer to this node and its last entry stay right.
  const std::size_t n = node.entries.size();
  CdxNode lower;
  lower.attributes = static_cast<std::uint16_t>(node.attributes & ~kCdxRoot);
  // Keys added at the end of the rightmost node (appends in key order)
  // leave the lower node full instead of half full.
  const bool appending = node.right == kCdxNone && path[level].index + (node.leaf() ? 1 : 2) == n;
  const std::size_t middle = appending ? n - 1 : n / 2;
  std::size_t cut = 0;
  for (std::size_t d = 0; d < n && cut == 0; ++d) {
    for (const std::size_t c : {middle - std::min(d, middle), middle + d}) {
      if (c == 0 || c >= n) continue;
      CdxNode a = lower, b = node;
      a.entries.assign(node.entries.begin(), node.entries.begin() + static_cast<std::ptrdiff_t>(c));
      b.entries.erase(b.entries.begin(), b.entries.begin() + static_cast<std::ptrdiff_t>(c));
      if (!node.leaf()) {
        a.children.assign(node.children.begin(),
                          node.children.begin() + static_cast<std::ptrdiff_t>(c));
        b.children.erase(b.children.begin(), b.children.begin() + static_cast<std::ptrdiff_t>(c));
      }
      if (EncodeCdxNode(a, form_, page) && EncodeCdxNode(b, form_, page)) {
        cut = c;
        break;
      }
    }
  }
  if (cut == 0) return file_.Bad("index key does not fit a node");
  const auto at = static_cast<std::ptrdiff_t>(cut);
  lower.entries.assign(node.entries.begin(), node.entries.begin() + at);
  node.entries.erase(node.entries.begin(), node.entries.begin() + at);
  if (!node.leaf()) {
    lower.children.assign(node.children.begin(), node.children.begin() + at);
    node.children.erase(node.children.begin(), node.children.begin() + at);
  }
  if (!file_.Alloc(lower.offset)) return false;
  lower.left = node.left;
  lower.right = node.offset;
  node.left = lower.offset;
  node.attributes = static_cast<std::uint16_t>(node.attributes & ~kCdxRoot);
  if (lower.left != kCdxNone && !SetSibling(lower.left, false, lower.offset)) return false;
  if (!Write(lower) || !Write(node)) return false;
  if (level == 0) {
    CdxNode root;
    if (!file_.Alloc(root.offset)) return false;
    root.attributes = kCdxRoot;
    root.entries = {lower.entries.back(), node.entries.back()};
    root.children = {lower.offset, node.offset};
    return Write(root) && SetRoot(root.offset);
  }
  Step& parent = path[level - 1];
  if (!Own(parent)) return false;
  const auto pi = static_cast<std::ptrdiff_t>(parent.index);
  parent.node.entries[parent.index] = node.entries.back();
  parent.node.entries.insert(parent.node.entries.begin() + pi, lower.entries.back());
  parent.node.children.insert(parent.node.children.begin() + pi, lower.offset);
  return Store(path, level - 1);
}

bool CdxTag::Insert(const IndexEntry& entry, bool* added) {
  if (added) *added = false;
  CdxFile::Hold hold(file_, true);
  return hold.ok() && InsertLocked(entry, added);
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
  Step& leaf = path.back();
  leaf.node.entries.insert(leaf.node.entries.begin() + static_cast<std::ptrdiff_t>(leaf.index), e);
  if (!Store(path, path.size() - 1)) return false;
  if (added) *added = true;
  return true;
}

// path[level] has emptied: it leaves its level and its parent.
bool CdxTag::Unlink(std::vector<Step>& path, std::size_t level) {
  const CdxNode& node = path[level].node;
  if (node.left != kCdxNone && !SetSibling(node.left, false, node.right)) return false;
  if (node.right != kCdxNone && !SetSibling(node.right, true, node.left)) return false;
  cache_.erase(node.offset);
  if (!file_.Free(node.offset)) return false;
  Step& parent = path[level - 1];
  if (!Own(parent)) return false;
  const auto pi = static_cast<std::ptrdiff_t>(parent.index);
  parent.node.entries.erase(parent.node.entries.begin() + pi);
  parent.node.children.erase(parent.node.children.begin() + pi);
  if (!parent.node.entries.empty()) return Store(path, level - 1);
  if (level - 1 > 0) return Unlink(path, level - 1);
  parent.node.attributes = kCdxRoot | kCdxLeaf;  // the tree is empty
  parent.node.children.clear();
  return Write(parent.node);
}

// A root with a single child gives way to it.
bool CdxTag::Shrink() {
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    std::uint32_t at = 0;
    const CdxNode* root = nullptr;
    if (!Root(at) || !(root = Node(at))) return false;
    if (root->leaf() || root->entries.size() != 1) return true;
    CdxNode child;
    if (!Read(root->children[0], child)) return false;
    child.attributes = static_cast<std::uint16_t>(child.attributes | kCdxRoot);
    child.left = child.right = kCdxNone;
    cache_.erase(at);
    if (!Write(child) || !SetRoot(child.offset) || !file_.Free(at)) return false;
  }
  return file_.Bad("index nodes form a cycle");
}

bool CdxTag::Remove(const IndexEntry& entry, bool* removed) {
  if (removed) *removed = false;
  CdxFile::Hold hold(file_, true);
  if (!hold.ok()) return false;
  IndexEntry e = entry;
  e.key.resize(key_size(), form_.filler);
  std::vector<Step> path;
  if (!PathTo(e, path)) return false;
  Step& leaf = path.back();
  auto& es = leaf.node.entries;
  if (leaf.index >= es.size() || !(es[leaf.index] == e)) return true;
  es.erase(es.begin() + static_cast<std::ptrdiff_t>(leaf.index));
  const bool ok =
      es.empty() && path.size() > 1 ? Unlink(path, path.size() - 1) : Store(path, path.size() - 1);
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
  const auto notAfter = [&](const IndexEntry& e) {
    const int c = CompareToProbe(e.key, e.recno, probe, key_size());
    return strict ? c <= 0 : c < 0;
  };
  std::uint32_t at = 0;
  if (!Root(at)) return false;
  const CdxNode* n = nullptr;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    if (!(n = Node(at))) return false;
    if (n->leaf()) break;
    const auto it = std::partition_point(n->entries.begin(), n->entries.end(), notAfter);
    if (it == n->entries.end()) return true;
    at = n->children[static_cast<std::size_t>(it - n->entries.begin())];
  }
  // More sibling steps than the file has nodes would be a cycle.
  for (std::uint64_t hop = 0; hop <= file_.fileSize_ / kCdxPageSize; ++hop) {
    const auto it = std::partition_point(n->entries.begin(), n->entries.end(), notAfter);
    if (it != n->entries.end()) {
      found = *it;
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
  const auto before = [&](const IndexEntry& e) {
    const int c = CompareToProbe(e.key, e.recno, probe, key_size());
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
    const auto it = std::partition_point(n->entries.begin(), n->entries.end(), before);
    const auto i = std::min<std::size_t>(static_cast<std::size_t>(it - n->entries.begin()),
                                         n->entries.size() - 1);
    at = n->children[i];
  }
  // More sibling steps than the file has nodes would be a cycle.
  for (std::uint64_t hop = 0; hop <= file_.fileSize_ / kCdxPageSize; ++hop) {
    const auto it = std::partition_point(n->entries.begin(), n->entries.end(), before);
    if (it != n->entries.begin()) {
      found = *(it - 1);
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
  CdxNode n;
  if (!Read(offset, n)) return false;
  for (std::size_t i = 0; i < n.entries.size() && goOn; ++i) {
    if (n.leaf()) {
      goOn = visit(n.entries[i]);
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
  for (CdxNode n;; at = n.children[0]) {
    if (++depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
    if (!Read(at, n)) return false;
    if (n.leaf()) return true;
  }
}

bool CdxTag::FreeTree(std::uint32_t offset, int depth) {
  if (depth > kMaxDepth) return file_.Bad("index nodes form a cycle");
  CdxNode n;
  if (!Read(offset, n)) return false;
  for (std::uint32_t child : n.children) {
    if (!FreeTree(child, depth + 1)) return false;
  }
  cache_.erase(offset);
  return file_.Free(offset);
}

bool CdxTag::Clear() {
  CdxFile::Hold hold(file_, true);
  std::uint32_t root = 0;
  if (!hold.ok() || !Root(root) || !FreeTree(root, 0)) return false;
  CdxNode empty;
  if (!file_.Alloc(empty.offset)) return false;
  return Write(empty) && SetRoot(empty.offset);
}

bool CdxTag::Flush() {
  if (!file_.WritePending()) return false;
  if (!file_.file_->Flush(false)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(file_.path_).Os(file_.file_->LastError()));
  }
  return true;
}

}  // namespace talvi::dbf
