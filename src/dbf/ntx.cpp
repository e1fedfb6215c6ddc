// SPDX-License-Identifier: MIT
// NTX files: header, page reading and writing, searches and the walk.
// Insertion and removal are in ntx_update.cpp.
#include "dbf/ntx.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "dbf/codes.h"
#include "dbf/raise.h"
#include "dbf/settings.h"

namespace talvi::dbf {
namespace {

constexpr int kMaxDepth = 32;  // deeper than any real tree: a cycle
// How long a call waits for another process's index lock before it fails.
constexpr int kLockTries = 30000;

std::uint16_t Get16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
void Put32(unsigned char* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}
std::string CText(const unsigned char* p, std::size_t max) {
  std::size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}
void PutText(unsigned char* p, const std::string& s, std::size_t max) {
  std::memcpy(p, s.data(), std::min(s.size(), max - 1));
}

// The engine's own header fields (see ntx.h).
constexpr std::size_t kKeyExprAt = 22, kKeyExprLen = 256, kUniqueAt = 278;
constexpr std::size_t kDescendAt = 279, kForAt = 280, kForLen = 256, kNameAt = 536, kNameLen = 11;

}  // namespace

std::uint16_t NtxMaxItems(std::size_t key_size) {
  const std::size_t item = key_size + 8;
  const std::size_t slots = (kNtxPageSize - 2) / (item + 2);
  return slots < 3 ? 0 : static_cast<std::uint16_t>(slots - 1);
}

NtxFile::~NtxFile() {
  WritePending();
}

bool NtxFile::Bad(const std::string& what) {
  cache_.Clear();
  return Corrupt(path_, what);
}

std::unique_ptr<NtxFile> NtxFile::Create(const std::string& path, const NtxHeader& fields) {
  const std::uint16_t max = NtxMaxItems(fields.key_size);
  if (fields.key_size == 0 || max == 0) {
    Fail(Failure(kGenLimit, kSubLimit).File(path).Desc("Key length does not fit an NTX page"));
    return nullptr;
  }
  os::OpenMode mode = os::ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  int oscode = 0;
  auto file = os::SharedFile::Open(path, mode, oscode);
  if (!file) {
    Fail(Failure(kGenCreate, kSubCreate).File(path).Os(oscode).Desc("Cannot create index"));
    return nullptr;
  }
  std::unique_ptr<NtxFile> ntx(new NtxFile());
  ntx->path_ = path;
  ntx->file_ = std::move(file);
  ntx->header_ = fields;
  ntx->header_.signature = 6;
  ntx->header_.version = 1;
  ntx->header_.root = kNtxPageSize;
  ntx->header_.free_list = 0;
  ntx->header_.item_size = static_cast<std::uint16_t>(fields.key_size + 8);
  ntx->header_.max_items = max;
  ntx->header_.half_page = static_cast<std::uint16_t>(max / 2);
  ntx->layout_ = NtxLayout(fields.key_size, max);
  ntx->file_size_ = 2 * kNtxPageSize;
  if (!ntx->WriteHeader() || !ntx->WritePage(ntx->NewPage(kNtxPageSize, 0))) return nullptr;
  return ntx;
}

std::unique_ptr<NtxFile> NtxFile::Open(const std::string& path, bool shared, bool read_only) {
  int oscode = 0;
  auto file = os::SharedFile::Open(
      path, shared ? os::SharedMode(read_only) : os::ExclusiveMode(read_only), oscode);
  if (!file) {
    Fail(Failure(kGenOpen, kSubOpen).File(path).Os(oscode).Desc("Cannot open index"));
    return nullptr;
  }
  std::unique_ptr<NtxFile> ntx(new NtxFile());
  ntx->path_ = path;
  ntx->file_ = std::move(file);
  ntx->shared_ = shared;
  ntx->read_only_ = read_only;
  ntx->behind_ = !shared && !read_only;
  if (!ntx->ReadHeader()) return nullptr;
  return ntx;
}

bool NtxFile::ReadHeader() {
  unsigned char b[kNtxPageSize] = {};
  const std::int64_t size = file_->Size();
  if (size < 0) return Fail(Failure(kGenRead, kSubRead).File(path_).Os(file_->LastError()));
  file_size_ = static_cast<std::uint64_t>(size);
  const std::int64_t got = file_->ReadAt(0, b, sizeof b);
  if (got < 0) return Fail(Failure(kGenRead, kSubRead).File(path_).Os(file_->LastError()));
  if (got < static_cast<std::int64_t>(kUniqueAt + 1)) return Bad("index header cut short");
  NtxHeader h;
  h.signature = Get16(b);
  h.version = Get16(b + 2);
  h.root = Get32(b + 4);
  h.free_list = Get32(b + 8);
  h.item_size = Get16(b + 12);
  h.key_size = Get16(b + 14);
  h.decimals = Get16(b + 16);
  h.max_items = Get16(b + 18);
  h.half_page = Get16(b + 20);
  h.key_expr = CText(b + kKeyExprAt, kKeyExprLen);
  h.unique = b[kUniqueAt] != 0;
  h.descending = b[kDescendAt] == 1;
  h.for_expr = CText(b + kForAt, kForLen);
  h.name = CText(b + kNameAt, kNameLen);
  if (h.key_size == 0 || h.item_size != h.key_size + 8) return Bad("index key size");
  if (h.max_items < 2 || h.max_items > NtxMaxItems(h.key_size)) return Bad("index page size");
  if (h.root == 0 || h.root % kNtxPageSize != 0 || h.root >= file_size_) {
    return Bad("index root page");
  }
  if (h.version != header_.version || h.root != header_.root || h.key_size != header_.key_size ||
      h.max_items != header_.max_items) {
    cache_.Clear();
  }
  layout_ = NtxLayout(h.key_size, h.max_items);
  header_ = std::move(h);
  written_root_ = header_.root;
  written_free_ = header_.free_list;
  return true;
}

bool NtxFile::WriteHeader() {
  unsigned char b[kNtxPageSize] = {};
  Put16(b, header_.signature);
  Put16(b + 2, header_.version);
  Put32(b + 4, header_.root);
  Put32(b + 8, header_.free_list);
  Put16(b + 12, header_.item_size);
  Put16(b + 14, header_.key_size);
  Put16(b + 16, header_.decimals);
  Put16(b + 18, header_.max_items);
  Put16(b + 20, header_.half_page);
  PutText(b + kKeyExprAt, header_.key_expr, kKeyExprLen);
  b[kUniqueAt] = header_.unique ? 1 : 0;
  b[kDescendAt] = header_.descending ? 1 : 0;
  PutText(b + kForAt, header_.for_expr, kForLen);
  PutText(b + kNameAt, header_.name, kNameLen);
  if (!Put(0, b)) {
    written_root_ = written_free_ = ~std::uint32_t{0};  // unknown: written next time
    return false;
  }
  written_root_ = header_.root;
  written_free_ = header_.free_list;
  return true;
}

NtxFile::Hold::Hold(NtxFile& file) : file_(file) {
  ok_ = file_.Lock();
}

NtxFile::Hold::~Hold() {
  if (ok_) file_.Unlock();
}

// The index lock (shared mode) for the length of one call; nested calls
// share it. Readers take it too, so that nobody reads a page in the middle
// of a split; under it the header is read again (Refresh).
bool NtxFile::Lock() {
  if (holds_++ > 0) return true;
  if (!shared_) return true;
  const std::uint64_t at = Engine().lock_offset;
  for (int i = 0; !file_->TryLock(at, 1); ++i) {
    if (i == kLockTries) {
      --holds_;
      return Fail(Failure(kGenLock, kSubLock)
                      .File(path_)
                      .Os(file_->LastError())
                      .Desc("Index lock not granted"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  locked_ = true;
  if (!Refresh()) {
    Unlock();
    return false;
  }
  return true;
}

void NtxFile::Unlock() {
  if (--holds_ > 0 || !locked_) return;
  file_->Unlock(Engine().lock_offset, 1);
  locked_ = false;
}

bool NtxFile::Refresh() {
  if (!shared_) return true;
  return ReadHeader();
}

bool NtxFile::Changed() {
  header_.version = static_cast<std::uint16_t>(header_.version + 1);
  // Opened exclusively, nobody reads the counter: the header is written
  // only when the root or the free list moved.
  if (!shared_ && header_.root == written_root_ && header_.free_list == written_free_) return true;
  return WriteHeader();
}

bool NtxFile::Flush() {
  if (!WritePending()) return false;
  if (!file_->Flush(false)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  return true;
}

NtxFile::Page* NtxFile::PageAt(std::uint32_t offset) {
  if (Page* p = cache_.Find(offset)) return p;
  if (offset == 0 || offset % kNtxPageSize != 0 || offset + kNtxPageSize > file_size_) {
    Bad("index page offset " + std::to_string(offset));
    return nullptr;
  }
  unsigned char b[kNtxPageSize];
  const std::int64_t got = Get(offset, b, sizeof b);
  if (got < 0) {
    Fail(Failure(kGenRead, kSubRead).File(path_).Os(file_->LastError()));
    return nullptr;
  }
  if (got != static_cast<std::int64_t>(kNtxPageSize)) {
    Bad("index page cut short");
    return nullptr;
  }
  const std::size_t n = Get16(b);
  if (n > header_.max_items) {
    Bad("index page key count");
    return nullptr;
  }
  // Other writers may order the slots any way: the page is kept in the
  // engine's layout, as it will be written.
  Page page;
  page.offset = offset;
  layout_.Init(page, 0);
  const std::size_t item = header_.item_size;
  bool has_children = false;
  for (std::size_t i = 0; i <= n; ++i) {
    const std::size_t at = Get16(b + 2 + 2 * i);
    if (at < 2 || at + item > kNtxPageSize) {
      Bad("index slot offset");
      return nullptr;
    }
    const std::uint32_t child = Get32(b + at);
    if (child != 0 && (child % kNtxPageSize != 0 || child + kNtxPageSize > file_size_)) {
      Bad("index child page offset");
      return nullptr;
    }
    if (i == 0) has_children = child != 0;
    if ((child != 0) != has_children) {
      Bad("index page mixes leaf and inner items");
      return nullptr;
    }
    if (i < n) {
      std::memcpy(layout_.Item(page, i), b + at, item);
    } else {
      layout_.SetChild(page, i, child);
    }
  }
  page.bytes[0] = b[0];
  page.bytes[1] = b[1];
  Page& kept = cache_.Slot(offset);
  kept = page;
  return &kept;
}

NtxFile::Page& NtxFile::NewPage(std::uint32_t offset, std::uint32_t right) {
  Page& page = cache_.Slot(offset);
  page.offset = offset;
  layout_.Init(page, right);
  return page;
}

NtxFile::Item NtxFile::ItemOf(const Page& page, std::size_t i) const {
  return Item{layout_.Child(page, i), layout_.Recno(page, i), std::string(layout_.Key(page, i))};
}

bool NtxFile::WritePage(const Page& page) {
  if (!Put(page.offset, page.bytes.data())) {
    cache_.Clear();
    return false;
  }
  file_size_ = std::max<std::uint64_t>(file_size_, page.offset + kNtxPageSize);
  return true;
}

bool NtxFile::AllocPage(std::uint32_t& offset) {
  if (header_.free_list != 0) {
    const std::uint32_t at = header_.free_list;
    unsigned char b[4];
    if (at % kNtxPageSize != 0 || at + kNtxPageSize > file_size_ || Get(at, b, sizeof b) != 4) {
      return Bad("index free list");
    }
    header_.free_list = Get32(b);
    offset = at;
    return true;
  }
  if (file_size_ + kNtxPageSize > 0xFFFFFFFFull) {
    return Fail(Failure(kGenLimit, kSubLimit).File(path_).Desc("Index file full"));
  }
  offset = static_cast<std::uint32_t>(file_size_);
  file_size_ += kNtxPageSize;
  return true;
}

bool NtxFile::FreePage(std::uint32_t offset) {
  unsigned char b[kNtxPageSize] = {};
  Put32(b, header_.free_list);
  freed_.push_back(offset);
  if (!Put(offset, b)) return false;
  header_.free_list = offset;
  return true;
}

std::size_t NtxFile::Find(const Page& page, const IndexEntry& entry, bool& here) const {
  const KeyProbe probe{entry.key, entry.recno == 0 ? 1 : entry.recno};
  const auto compare = [&](std::string_view key, std::uint32_t recno) {
    return CompareToProbe(key, recno, probe, header_.key_size);
  };
  const std::size_t i = layout_.PartitionPoint(
      page, [&](std::string_view key, std::uint32_t recno) { return compare(key, recno) < 0; });
  here = i < NtxLayout::Count(page) && compare(layout_.Key(page, i), layout_.Recno(page, i)) == 0;
  return i;
}

bool NtxFile::SeekForward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) {
  found.reset();
  Hold hold(*this);
  if (!hold.ok()) return false;
  std::uint32_t at = header_.root;
  for (int depth = 0; at != 0; ++depth) {
    if (depth > kMaxDepth) return Bad("index pages form a cycle");
    const Page* p = PageAt(at);
    if (!p) return false;
    // The first item not before the probe (after it, `strict`).
    const std::size_t i =
        layout_.PartitionPoint(*p, [&](std::string_view key, std::uint32_t recno) {
          const int c = CompareToProbe(key, recno, probe, header_.key_size);
          return strict ? c <= 0 : c < 0;
        });
    if (i < NtxLayout::Count(*p)) {
      found = IndexEntry{std::string(layout_.Key(*p, i)), layout_.Recno(*p, i)};
    }
    at = layout_.Child(*p, i);
  }
  return true;
}

bool NtxFile::SeekBackward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) {
  found.reset();
  Hold hold(*this);
  if (!hold.ok()) return false;
  std::uint32_t at = header_.root;
  for (int depth = 0; at != 0; ++depth) {
    if (depth > kMaxDepth) return Bad("index pages form a cycle");
    const Page* p = PageAt(at);
    if (!p) return false;
    // Items before i sort before the probe (not after it without `strict`).
    const std::size_t i =
        layout_.PartitionPoint(*p, [&](std::string_view key, std::uint32_t recno) {
          const int c = CompareToProbe(key, recno, probe, header_.key_size);
          return strict ? c < 0 : c <= 0;
        });
    if (i > 0) found = IndexEntry{std::string(layout_.Key(*p, i - 1)), layout_.Recno(*p, i - 1)};
    at = layout_.Child(*p, i);
  }
  return true;
}

bool NtxFile::Walk(const std::function<bool(const IndexEntry&)>& visit) {
  Hold hold(*this);
  if (!hold.ok()) return false;
  std::vector<bool> seen(static_cast<std::size_t>(file_size_ / kNtxPageSize) + 1, false);
  bool go_on = true;
  return WalkPage(header_.root, 0, seen, visit, go_on);
}

bool NtxFile::WalkPage(std::uint32_t offset, int depth, std::vector<bool>& seen,
                       const std::function<bool(const IndexEntry&)>& visit, bool& go_on) {
  if (depth > kMaxDepth) return Bad("index pages form a cycle");
  const std::size_t slot = offset / kNtxPageSize;
  if (slot < seen.size()) {
    if (seen[slot]) return Bad("index page reached twice");
    seen[slot] = true;
  }
  // A copy: `visit` may search the tree, and a fault there drops the cache.
  const Page* cached = PageAt(offset);
  if (!cached) return false;
  const Page p = *cached;
  const std::size_t n = NtxLayout::Count(p);
  for (std::size_t i = 0; i <= n && go_on; ++i) {
    const std::uint32_t child = layout_.Child(p, i);
    if (child != 0 && !WalkPage(child, depth + 1, seen, visit, go_on)) return false;
    if (i < n && go_on)
      go_on = visit(IndexEntry{std::string(layout_.Key(p, i)), layout_.Recno(p, i)});
  }
  return true;
}

bool NtxFile::Depth(int& depth) {
  depth = 0;
  Hold hold(*this);
  if (!hold.ok()) return false;
  for (std::uint32_t at = header_.root; at != 0; ++depth) {
    if (depth > kMaxDepth) return Bad("index pages form a cycle");
    const Page* p = PageAt(at);
    if (!p) return false;
    at = layout_.Child(*p, 0);
  }
  return true;
}

bool NtxFile::Clear() {
  if (read_only_) return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_));
  Hold hold(*this);
  if (!hold.ok()) return false;
  // Pages kept back beyond the header would grow the file again.
  std::erase_if(pending_, [](const auto& p) { return p.first != 0; });
  if (!file_->Truncate(kNtxPageSize)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  cache_.Clear();
  file_size_ = kNtxPageSize;
  header_.free_list = 0;
  header_.root = kNtxPageSize;
  return WritePage(NewPage(kNtxPageSize, 0)) && Changed();
}

}  // namespace talvi::dbf
