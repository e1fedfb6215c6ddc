// SPDX-License-Identifier: MIT
// NTX single-order index files: a 1024-byte header page, then B-tree pages
// of 1024 bytes. Keys in inner pages are real entries (a B-tree, not a B+
// tree); each page keeps an array of slot offsets that gives the logical
// order of its items. Entries are ordered bytewise by key, then by record
// number. See README.md ("NTX") for the bytes as written and read.
//
// Opened exclusively (nobody else can read the file), changed pages are
// kept back and written on Flush (commit, the end of a build), when many
// have gathered and when the file is closed; a write that fails then is
// raised. Shared, every change reaches the file under the index lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/index_pages.h"
#include "dbf/index_tree.h"
#include "dbf/ntx_page.h"
#include "dbf/page_cache.h"
#include "os/shared_file.h"

namespace talvi::dbf {

struct NtxHeader {
  std::uint16_t signature = 6;
  std::uint16_t version = 0;
  std::uint32_t root = 0;
  std::uint32_t free_list = 0;
  std::uint16_t item_size = 0;
  std::uint16_t key_size = 0;
  std::uint16_t decimals = 0;
  std::uint16_t max_items = 0;
  std::uint16_t half_page = 0;
  std::string key_expr;
  bool unique = false;
  // This engine's own fields after the documented ones (zero in files of
  // other writers): descending flag, FOR condition, order name.
  bool descending = false;
  std::string for_expr;
  std::string name;
};

// The most items a page of `key_size` keys holds (0 when the key is too
// long for a page).
std::uint16_t NtxMaxItems(std::size_t key_size);

class NtxFile : public IndexTree {
 public:
  ~NtxFile() override;

  // Creates (or replaces) an empty index file: header and an empty root.
  static std::unique_ptr<NtxFile> Create(const std::string& path, const NtxHeader& fields);
  static std::unique_ptr<NtxFile> Open(const std::string& path, bool shared, bool read_only);

  const NtxHeader& header() const { return header_; }
  const std::string& path() const { return path_; }
  os::SharedFile& file() { return *file_; }

  std::size_t key_size() const override { return header_.key_size; }
  bool unique() const override { return header_.unique; }
  bool Insert(const IndexEntry& entry, bool* added = nullptr) override;
  bool Remove(const IndexEntry& entry, bool* removed = nullptr) override;
  bool SeekForward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) override;
  bool SeekBackward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) override;
  bool Walk(const std::function<bool(const IndexEntry&)>& visit) override;
  bool Clear() override;
  bool Flush() override;
  // Writes the pages kept back (exclusive use); false when a write failed
  // (raised; the pages stay kept for the next try).
  bool WritePending();
  // Replaces the tree with `entries` (any order; for a unique order the
  // lowest record number of a key stays), written page after page.
  bool Load(std::vector<IndexEntry> entries);

  // Reads the header again and drops the cached pages when another
  // process has changed the file since (its change counter moved). In
  // shared mode every call does this under the index lock.
  bool Refresh();
  // The depth of the tree (1 = the root is a leaf).
  bool Depth(int& depth);

 private:
  // An entry with its left child, away from its page.
  struct Item {
    std::uint32_t child = 0;
    std::uint32_t recno = 0;
    std::string key;
  };
  using Page = NtxPage;
  NtxFile() = default;
  class Hold {
   public:
    explicit Hold(NtxFile& file);
    ~Hold();
    bool ok() const { return ok_; }

   private:
    NtxFile& file_;
    bool ok_ = false;
  };
  bool Lock();
  void Unlock();

  bool ReadHeader();
  bool WriteHeader();
  // One page's bytes to the file, or kept back; reading through them.
  bool Put(std::uint32_t offset, const unsigned char* page);
  std::int64_t Get(std::uint32_t offset, unsigned char* data, std::size_t size);
  // The page from the cache or the file, in the engine's layout; null
  // when it cannot be read (raised). Changed in place by updates; valid
  // until that page leaves the cache (the cache is dropped when a call
  // fails or another process changed the file).
  Page* PageAt(std::uint32_t offset);
  // Writes a page of the cache.
  bool WritePage(const Page& page);
  // A new page in the cache at `offset`, empty, with `right` as its child.
  Page& NewPage(std::uint32_t offset, std::uint32_t right);
  Item ItemOf(const Page& page, std::size_t i) const;
  bool AllocPage(std::uint32_t& offset);
  bool FreePage(std::uint32_t offset);
  bool Bad(const std::string& what);
  // The first item of `page` not before `entry`, and whether it is `entry`.
  std::size_t Find(const Page& page, const IndexEntry& entry, bool& here) const;

  struct Split {
    bool happened = false;
    Item median;
  };
  bool InsertLocked(const IndexEntry& entry, bool* added);
  bool RemoveLocked(const IndexEntry& entry, bool* removed);
  bool InsertInto(std::uint32_t offset, const IndexEntry& entry, int depth, Split& up);
  bool SplitPage(Page& page, std::size_t at, const Item& item, Split& up);
  bool RemoveFrom(std::uint32_t offset, const IndexEntry& entry, int depth, bool& removed);
  bool RemoveMax(std::uint32_t offset, int depth, Item& out);
  bool FixChild(Page& parent, std::size_t i);
  bool WalkPage(std::uint32_t offset, int depth, std::vector<bool>& seen,
                const std::function<bool(const IndexEntry&)>& visit, bool& go_on);
  bool Changed();

  std::string path_;
  bool read_only_ = false;
  bool shared_ = false;
  NtxHeader header_;
  std::unique_ptr<os::SharedFile> file_;
  std::uint64_t file_size_ = 0;
  NtxLayout layout_;
  PageCache<Page, kNtxPageSize> cache_;
  // Pages freed by the update under way, dropped from the cache at its end
  // (a corrupt tree might still name one on the way back up).
  std::vector<std::uint32_t> freed_;
  bool behind_ = false;
  KeptPages<kNtxPageSize> pending_;
  // The root and free list in the header on the file.
  std::uint32_t written_root_ = ~std::uint32_t{0};
  std::uint32_t written_free_ = ~std::uint32_t{0};
  int holds_ = 0;
  bool locked_ = false;
};

}  // namespace talvi::dbf
