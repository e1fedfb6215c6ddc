// SPDX-License-Identifier: MIT
// CDX files: the compound header, pages, the free list, the tag directory
// and tag headers, and the index lock. The trees are in cdx_tree.cpp.
#include "dbf/cdx.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

#include "dbf/codes.h"
#include "dbf/raise.h"
#include "dbf/settings.h"

namespace talvi::dbf {
namespace {

constexpr std::uint32_t kHeaderSize = 2 * kCdxPageSize;  // fields and expression pool
constexpr std::size_t kDescendAt = 502, kTotalLenAt = 504, kForLenAt = 506, kKeyLenAt = 510;
constexpr std::size_t kPoolAt = 512;
// This engine's note of a tag's key type, in bytes the format leaves
// reserved: "TK" and the type letter.
constexpr std::size_t kTypeNoteAt = 490;
constexpr std::uint8_t kOptUnique = 0x01, kOptFor = 0x08, kOptCompact = 0x20;
constexpr std::uint8_t kOptCompound = 0x40, kOptDirectory = 0x80;
// How long a call waits for another process's index lock before it fails.
constexpr int kLockTries = 30000;

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void Put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
void Put16(unsigned char* p, std::size_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
std::string CText(const unsigned char* p, std::size_t max) {
  std::size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}
std::string TagName(const std::string& key) {
  std::string s = key;
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

}  // namespace

// How many changed pages exclusive use keeps back before writing them.
constexpr std::size_t kMaxPending = 32768;

CdxFile::~CdxFile() {
  WritePending();
}

bool CdxFile::WritePending() {
  if (!WriteKeptPages(*file_, pending_)) {
    ++generation_;
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  return true;
}

bool CdxFile::ReadBytes(std::uint32_t offset, unsigned char* data, std::size_t size) {
  const std::uint32_t page = offset / kCdxPageSize * kCdxPageSize;
  const auto it = pending_.find(page);
  if (it != pending_.end() && offset - page + size <= kCdxPageSize) {
    std::memcpy(data, it->second.data() + (offset - page), size);
    return true;
  }
  if (file_->ReadAt(offset, data, size) != static_cast<std::int64_t>(size)) {
    return Bad("index header cut short");
  }
  return true;
}

bool CdxFile::WriteBytes(std::uint32_t offset, const unsigned char* data, std::size_t size) {
  const std::uint32_t page = offset / kCdxPageSize * kCdxPageSize;
  if (behind_ && offset - page + size <= kCdxPageSize) {
    auto it = pending_.find(page);
    if (it == pending_.end()) {
      std::array<unsigned char, kCdxPageSize> b{};
      if (file_->ReadAt(page, b.data(), b.size()) < 0) {
        return Fail(Failure(kGenRead, kSubRead).File(path_).Os(file_->LastError()));
      }
      it = pending_.emplace(page, b).first;
    }
    std::memcpy(it->second.data() + (offset - page), data, size);
    changed_ = true;
    return true;
  }
  if (!file_->WriteAt(offset, data, size)) {
    ++generation_;
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  changed_ = true;
  return true;
}

bool CdxFile::Bad(const std::string& what) {
  ++generation_;  // nothing cached is trusted any more
  return Corrupt(path_, what);
}

bool CdxFile::LooksLikeCdx(const unsigned char* page, std::size_t size) {
  if (size < kHeaderSize) return false;
  const std::uint32_t root = Le32(page);
  const std::uint16_t keyLength = Le16(page + 12);
  return root != 0 && root % kCdxPageSize == 0 && keyLength >= 1 && keyLength <= 240 &&
         (page[14] & (kOptCompact | kOptCompound)) == (kOptCompact | kOptCompound);
}

std::unique_ptr<CdxFile> CdxFile::Create(const std::string& path) {
  os::OpenMode mode = os::ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  int oscode = 0;
  auto file = os::SharedFile::Open(path, mode, oscode);
  if (!file) {
    Fail(Failure(kGenCreate, kSubCreate).File(path).Os(oscode).Desc("Cannot create index"));
    return nullptr;
  }
  std::unique_ptr<CdxFile> cdx(new CdxFile());
  cdx->path_ = path;
  cdx->file_ = std::move(file);
  unsigned char b[kHeaderSize + kCdxPageSize] = {};
  Put32(b, kHeaderSize);  // the directory's root
  Put16(b + 12, 10);
  b[14] = kOptDirectory | kOptCompound | kOptCompact;
  b[15] = 1;
  Put16(b + kTotalLenAt, 1);
  Put16(b + kForLenAt, 1);
  Put16(b + kKeyLenAt, 1);
  CdxNode root;
  root.offset = kHeaderSize;
  if (!EncodeCdxNode(root, CdxKeyForm{}, b + kHeaderSize) || !cdx->file_->WriteAt(0, b, sizeof b)) {
    Fail(Failure(kGenCreate, kSubCreate).File(path).Os(cdx->file_->LastError()));
    return nullptr;
  }
  cdx->fileSize_ = sizeof b;
  cdx->directory_ = std::make_unique<CdxTag>(*cdx, 0, CdxTagInfo{.keyLength = 10});
  return cdx;
}

std::unique_ptr<CdxFile> CdxFile::Open(const std::string& path, bool shared, bool readOnly) {
  int oscode = 0;
  auto file = os::SharedFile::Open(
      path, shared ? os::SharedMode(readOnly) : os::ExclusiveMode(readOnly), oscode);
  if (!file) {
    Fail(Failure(kGenOpen, kSubOpen).File(path).Os(oscode).Desc("Cannot open index"));
    return nullptr;
  }
  std::unique_ptr<CdxFile> cdx(new CdxFile());
  cdx->path_ = path;
  cdx->file_ = std::move(file);
  cdx->shared_ = shared;
  cdx->readOnly_ = readOnly;
  cdx->behind_ = !shared && !readOnly;
  unsigned char b[kHeaderSize] = {};
  const std::int64_t got = cdx->file_->ReadAt(0, b, sizeof b);
  if (got < 0) {
    Fail(Failure(kGenRead, kSubRead).File(path).Os(cdx->file_->LastError()));
    return nullptr;
  }
  if (!LooksLikeCdx(b, static_cast<std::size_t>(got))) {
    cdx->Bad("not a compound index header");
    return nullptr;
  }
  if (!cdx->ReadHeader()) return nullptr;
  cdx->directory_ = std::make_unique<CdxTag>(*cdx, 0, CdxTagInfo{.keyLength = Le16(b + 12)});
  if (!cdx->LoadTags()) return nullptr;
  return cdx;
}

bool CdxFile::ReadHeader() {
  unsigned char b[16];
  const std::int64_t size = file_->Size();
  if (size < 0 || file_->ReadAt(0, b, sizeof b) != static_cast<std::int64_t>(sizeof b)) {
    return Fail(Failure(kGenRead, kSubRead).File(path_).Os(file_->LastError()));
  }
  fileSize_ = static_cast<std::uint64_t>(size);
  const std::uint32_t freeList = Le32(b + 4);
  const std::uint32_t counter = Le32(b + 8);
  if (counter != counter_ || freeList != freeList_) ++generation_;
  counter_ = counter;
  freeList_ = freeList == kCdxNone ? 0 : freeList;
  return true;
}

bool CdxFile::WriteHeader() {
  unsigned char b[8];
  Put32(b, freeList_);
  Put32(b + 4, counter_);
  return WriteBytes(4, b, sizeof b);
}

CdxFile::Hold::Hold(CdxFile& file, bool writing) : file_(file) {
  ok_ = file_.Begin(writing);
}

CdxFile::Hold::~Hold() {
  if (ok_) file_.End();
}

bool CdxFile::Begin(bool writing) {
  if (writing && readOnly_) return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_));
  if (holds_++ > 0) {
    writing_ = writing_ || writing;
    return true;
  }
  writing_ = writing;
  changed_ = false;
  if (!shared_) return true;
  const std::uint64_t at = Engine().lock_offset;
  for (int i = 0; !locked_; ++i) {
    locked_ = file_->TryLock(at, 1);
    if (locked_) break;
    if (i == kLockTries) {
      --holds_;
      return Fail(Failure(kGenLock, kSubLock)
                      .File(path_)
                      .Os(file_->LastError())
                      .Desc("Index lock not granted"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A moved counter: another process changed the file, perhaps its tags.
  // The directory is read before any tag is used, so that a change of this
  // call reaches every tag in the file and none goes to a tag removed.
  const std::uint64_t seen = generation_;
  if (!ReadHeader() || (generation_ != seen && directory_ && !ReadTags())) {
    End();
    return false;
  }
  return true;
}

void CdxFile::End() {
  if (--holds_ > 0) return;
  // The counter tells other processes that the file changed; opened
  // exclusively there are none, and only a moved free list needs writing.
  if (changed_ && (shared_ || freeMoved_)) {
    if (shared_) counter_ = counter_ + 1;
    WriteHeader();
  }
  changed_ = freeMoved_ = false;
  if (locked_) {
    file_->Unlock(Engine().lock_offset, 1);
    locked_ = false;
  }
}

bool CdxFile::ReadPage(std::uint32_t offset, unsigned char* page) {
  if (offset == 0 || offset == kCdxNone || offset % kCdxPageSize != 0 ||
      offset + std::uint64_t{kCdxPageSize} > fileSize_) {
    return Bad("index node offset " + std::to_string(offset));
  }
  if (const auto it = pending_.find(offset); it != pending_.end()) {
    std::memcpy(page, it->second.data(), kCdxPageSize);
    return true;
  }
  const std::int64_t got = file_->ReadAt(offset, page, kCdxPageSize);
  if (got < 0) return Fail(Failure(kGenRead, kSubRead).File(path_).Os(file_->LastError()));
  if (got != static_cast<std::int64_t>(kCdxPageSize)) return Bad("index node cut short");
  return true;
}

bool CdxFile::WritePage(std::uint32_t offset, const unsigned char* page) {
  return WritePages(offset, page, kCdxPageSize);
}

bool CdxFile::WritePages(std::uint32_t offset, const unsigned char* pages, std::size_t size) {
  if (behind_) {
    for (std::size_t at = 0; at < size; at += kCdxPageSize) {
      std::memcpy(pending_[offset + static_cast<std::uint32_t>(at)].data(), pages + at,
                  kCdxPageSize);
    }
    fileSize_ = std::max<std::uint64_t>(fileSize_, offset + std::uint64_t{size});
    changed_ = true;
    return pending_.size() < kMaxPending || WritePending();
  }
  if (!file_->WriteAt(offset, pages, size)) {
    ++generation_;
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  fileSize_ = std::max<std::uint64_t>(fileSize_, offset + std::uint64_t{size});
  changed_ = true;
  return true;
}

bool CdxFile::Alloc(std::uint32_t& offset, std::uint32_t pages, bool zero) {
  if (pages == 1 && freeList_ != 0) {
    unsigned char b[kCdxPageSize];
    if (!ReadPage(freeList_, b)) return false;
    offset = freeList_;
    freeList_ = Le32(b) == kCdxNone ? 0 : Le32(b);
    changed_ = freeMoved_ = true;
    return true;
  }
  const std::uint64_t at = (fileSize_ + kCdxPageSize - 1) / kCdxPageSize * kCdxPageSize;
  if (at + std::uint64_t{pages} * kCdxPageSize > 0xFFFFFE00ull) {
    return Fail(Failure(kGenLimit, kSubLimit).File(path_).Desc("Index file full"));
  }
  offset = static_cast<std::uint32_t>(at);
  if (!zero) {
    fileSize_ = at + std::uint64_t{pages} * kCdxPageSize;
    changed_ = true;
    return true;
  }
  unsigned char blank[kCdxPageSize] = {};
  for (std::uint32_t i = 0; i < pages; ++i) {
    if (!WritePage(offset + i * kCdxPageSize, blank)) return false;
  }
  return true;
}

bool CdxFile::Free(std::uint32_t offset) {
  unsigned char b[kCdxPageSize] = {};
  Put32(b, freeList_);
  if (!WritePage(offset, b)) return false;
  freeList_ = offset;
  freeMoved_ = true;
  return true;
}

bool CdxFile::ReadTagInfo(std::uint32_t header, CdxTagInfo& info) {
  unsigned char b[kHeaderSize];
  if (!ReadPage(header, b) || !ReadPage(header + kCdxPageSize, b + kCdxPageSize)) return false;
  info.keyLength = Le16(b + 12);
  if (info.keyLength < 1 || info.keyLength > 240) return Bad("index tag key length");
  const std::uint8_t options = b[14];
  info.unique = (options & kOptUnique) != 0;
  info.descending = Le16(b + kDescendAt) != 0;
  info.keyExpr = CText(b + kPoolAt, kCdxPageSize);
  info.forExpr.clear();
  const std::size_t forAt = info.keyExpr.size() + 1;
  if (Le16(b + kForLenAt) > 1 && forAt < kCdxPageSize) {
    info.forExpr = CText(b + kPoolAt + forAt, kCdxPageSize - forAt);
  }
  info.type = 'C';
  if (b[kTypeNoteAt] == 'T' && b[kTypeNoteAt + 1] == 'K') {
    const char t = static_cast<char>(b[kTypeNoteAt + 2]);
    if (t == 'C' || t == 'N' || t == 'D' || t == 'L') info.type = t;
  }
  return true;
}

bool CdxFile::WriteTagHeader(std::uint32_t header, const CdxTagInfo& info, std::uint32_t root) {
  if (info.keyExpr.size() + info.forExpr.size() + 2 > kCdxPageSize) {
    return Fail(Failure(kGenLimit, kSubLimit).File(path_).Desc("Index expressions too long"));
  }
  unsigned char b[kHeaderSize] = {};
  Put32(b, root);
  Put16(b + 12, info.keyLength);
  b[14] = static_cast<unsigned char>(kOptCompound | kOptCompact | (info.unique ? kOptUnique : 0) |
                                     (info.forExpr.empty() ? 0 : kOptFor));
  b[15] = 1;
  b[kTypeNoteAt] = 'T';
  b[kTypeNoteAt + 1] = 'K';
  b[kTypeNoteAt + 2] = static_cast<unsigned char>(info.type);
  Put16(b + kDescendAt, info.descending ? 1 : 0);
  Put16(b + kTotalLenAt, info.keyExpr.size() + 1);
  Put16(b + kForLenAt, info.forExpr.size() + 1);
  Put16(b + kKeyLenAt, info.keyExpr.size() + 1);
  std::memcpy(b + kPoolAt, info.keyExpr.data(), info.keyExpr.size());
  std::memcpy(b + kPoolAt + info.keyExpr.size() + 1, info.forExpr.data(), info.forExpr.size());
  return WritePage(header, b) && WritePage(header + kCdxPageSize, b + kCdxPageSize);
}

bool CdxFile::LoadTags() {
  Hold hold(*this, false);
  return hold.ok() && ReadTags();
}

bool CdxFile::ReadTags() {
  std::vector<IndexEntry> names;
  if (!directory_->Walk([&](const IndexEntry& e) {
        names.push_back(e);
        return names.size() < 4096;
      })) {
    return false;
  }
  // A tag is its name and its header: a tag replaced under the same name
  // has a new header (AddTag).
  const auto same = [&](const CdxTag& t, const IndexEntry& e) {
    return t.header() == e.recno && t.info().name == TagName(e.key);
  };
  if (std::equal(names.begin(), names.end(), tags_.begin(), tags_.end(),
                 [&](const IndexEntry& e, const auto& t) { return same(*t, e); })) {
    return true;
  }
  // Each entry keeps the tag it names, or gets a new one; the new tags'
  // headers are read first, so that a failure leaves tags() as it was.
  constexpr std::size_t kNew = ~std::size_t{0};
  std::vector<std::size_t> from(names.size(), kNew);
  std::vector<bool> claimed(tags_.size(), false);
  std::vector<std::unique_ptr<CdxTag>> tags(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t j = 0; j < tags_.size() && from[i] == kNew; ++j) {
      if (!claimed[j] && same(*tags_[j], names[i])) {
        from[i] = j;
        claimed[j] = true;
      }
    }
    if (from[i] != kNew) continue;
    CdxTagInfo info;
    if (!ReadTagInfo(names[i].recno, info)) return false;
    info.name = TagName(names[i].key);
    tags[i] = std::make_unique<CdxTag>(*this, names[i].recno, info);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (from[i] != kNew) tags[i] = std::move(tags_[from[i]]);
  }
  for (auto& t : tags_) {
    if (!t) continue;
    t->Retire();
    retired_.push_back(std::move(t));
  }
  tags_ = std::move(tags);
  ++tagsVersion_;
  return true;
}

void CdxTag::Retire() {
  gone_ = true;
  cache_.Clear();
}

bool CdxTag::Gone() {
  reported_ = true;
  return Fail(Failure(kGenBound, kSubArea)
                  .File(file_.path_)
                  .Op("index")
                  .Desc("Order " + info_.name +
                        " was removed from the index file by another process or work area"));
}

CdxTag* CdxFile::Tag(const std::string& name) {
  for (auto& t : tags_) {
    if (t->info().name == name) return t.get();
  }
  return nullptr;
}

CdxTag* CdxFile::AddTag(const CdxTagInfo& wanted) {
  Hold hold(*this, true);
  if (!hold.ok()) return nullptr;
  CdxTagInfo info = wanted;
  info.name = info.name.substr(0, 10);
  if (info.keyLength < 1 || info.keyLength > 240) {
    Fail(Failure(kGenLimit, kSubLimit).File(path_).Desc("Key length does not fit a CDX node"));
    return nullptr;
  }
  std::string key = info.name;
  key.resize(directory_->key_size(), ' ');
  // A tag of that name goes: out of the directory, its tree and its header
  // freed. Another process that holds it finds it gone from the directory
  // at its next call (the counter moves), before it reads any of it.
  if (CdxTag* old = Tag(info.name)) {
    std::uint32_t oldRoot = 0;
    if (!old->Root(oldRoot) || !directory_->Remove({key, old->header()})) return nullptr;
    const auto at =
        std::find_if(tags_.begin(), tags_.end(), [&](const auto& t) { return t.get() == old; });
    old->Retire();
    retired_.push_back(std::move(*at));
    tags_.erase(at);
    ++tagsVersion_;
    if (!old->FreeTree(oldRoot, 0) || !Free(old->header()) || !Free(old->header() + kCdxPageSize)) {
      return nullptr;
    }
  }
  std::uint32_t header = 0, root = 0;
  if (!Alloc(header, 2) || !Alloc(root)) return nullptr;
  CdxNode empty;
  empty.offset = root;
  unsigned char page[kCdxPageSize];
  EncodeCdxNode(empty, CdxKeyForm{}, page);
  if (!WritePage(root, page) || !WriteTagHeader(header, info, root)) return nullptr;
  if (!directory_->Insert({key, header})) return nullptr;
  auto tag = std::make_unique<CdxTag>(*this, header, info);
  CdxTag* made = tag.get();
  tags_.push_back(std::move(tag));
  std::sort(tags_.begin(), tags_.end(),
            [](const auto& a, const auto& b) { return a->info().name < b->info().name; });
  ++tagsVersion_;
  return made;
}

}  // namespace talvi::dbf
