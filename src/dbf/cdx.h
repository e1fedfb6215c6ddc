// SPDX-License-Identifier: MIT
// CDX compound index files: 512-byte pages, a compound header whose tree
// (the tag directory) maps tag names to tag headers, and one B+ tree per
// tag (inner nodes carry the last key of each child; leaves are linked to
// their siblings and keep their keys compressed, cdx_node.h). Entries are
// ordered bytewise by key, then by record number. See README.md ("CDX").
//
// In shared mode every call takes the file's index lock for its duration
// (readers too, so that nobody sees a node half-way through a split) and
// reads the compound header first: when its change counter moved, another
// process has changed the file, every cached node is dropped and the tag
// directory is read again (tags added elsewhere appear, tags removed
// elsewhere are retired: every call on them fails); every write reaches
// the file before the lock goes. Opened exclusively (nobody
// else can read the file), changed pages are kept and written behind:
// on Flush (commit, the end of a build), when many have gathered, and
// when the file is closed; a write that fails then is raised.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dbf/cdx_node.h"
#include "dbf/index_pages.h"
#include "dbf/index_tree.h"
#include "os/shared_file.h"

namespace talvi::dbf {

class CdxFile;

struct CdxTagInfo {
  std::string name = {};  // upper case, at most 10 bytes
  std::string keyExpr = {};
  std::string forExpr = {};  // "" = none
  bool unique = false;
  bool descending = false;
  std::uint16_t keyLength = 0;
  char type = 'C';  // C, N, D, L: this engine's note; other writers' tags read as C
};

// One tree of the file: a tag, or the tag directory itself.
class CdxTag : public IndexTree {
 public:
  CdxTag(CdxFile& file, std::uint32_t header, const CdxTagInfo& info);

  const CdxTagInfo& info() const { return info_; }
  std::uint32_t header() const { return header_; }
  // No longer in the file's directory (removed or replaced elsewhere):
  // every call fails, raising Gone().
  bool gone() const { return gone_; }
  // Whether Gone() has been raised for it.
  bool reported() const { return reported_; }
  // Raises the error of a call on a retired tag; false.
  bool Gone();
  // The filler of the keys (a space for character keys, zero for others).
  void SetKeyType(char type);
  // The table's size: leaves written from now on have room for record
  // numbers up to it (it only grows).
  void SizeRecnos(std::uint32_t records) { form_.recnoFloor = std::max(form_.recnoFloor, records); }

  std::size_t key_size() const override { return info_.keyLength; }
  bool unique() const override { return info_.unique; }
  bool Insert(const IndexEntry& entry, bool* added = nullptr) override;
  bool Remove(const IndexEntry& entry, bool* removed = nullptr) override;
  bool SeekForward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) override;
  bool SeekBackward(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found) override;
  bool Walk(const std::function<bool(const IndexEntry&)>& visit) override;
  bool Clear() override;
  bool Flush() override;
  // The depth of the tree (1 = the root is a leaf).
  bool Depth(int& depth);
  // Replaces the tree with `entries` (any order; for a unique tag the
  // lowest record number of a key stays), written node by node: full
  // leaves, then the levels above them.
  bool Load(std::vector<IndexEntry> entries);

 private:
  friend class CdxFile;
  // One level of the way down: the node (in the cache, changed there)
  // and the entry or child taken.
  struct Step {
    std::uint32_t offset = 0;
    std::size_t index = 0;
    CdxNode* node = nullptr;
  };
  bool Root(std::uint32_t& root);
  bool SetRoot(std::uint32_t root);
  // The node at `offset`, from the cache or the file; null when it cannot
  // be read (raised). Valid until that node leaves the cache (the cache
  // is dropped when a call fails or another process changed the file).
  CdxNode* Node(std::uint32_t offset);
  bool Read(std::uint32_t offset, CdxNode& node);
  // Writes `node` to its page (the cache is left alone), or `node` to its
  // page and the cache.
  bool WriteNode(const CdxNode& node);
  bool Write(CdxNode node);
  bool PathTo(const IndexEntry& entry, std::vector<Step>& path);
  bool Store(std::vector<Step>& path, std::size_t level);
  bool SetSibling(std::uint32_t offset, bool left, std::uint32_t to);
  bool Unlink(std::vector<Step>& path, std::size_t level);
  bool Shrink();
  bool InsertLocked(const IndexEntry& entry, bool* added);
  bool RemoveLocked(const IndexEntry& entry, bool* removed);
  bool SeekForwardLocked(const KeyProbe& probe, bool strict, std::optional<IndexEntry>& found);
  bool WalkNode(std::uint32_t offset, int depth, std::vector<std::uint32_t>& seen,
                const std::function<bool(const IndexEntry&)>& visit, bool& goOn);
  bool FreeTree(std::uint32_t offset, int depth);
  bool WriteLevel(std::vector<CdxNode>& nodes);

  void Retire();

  CdxFile& file_;
  std::uint32_t header_;
  CdxTagInfo info_;
  bool gone_ = false;
  bool reported_ = false;
  CdxKeyForm form_;
  std::uint32_t root_ = 0;
  std::uint64_t generation_ = ~std::uint64_t{0};  // of the file, when root_ was read
  CdxCache cache_;
};

class CdxFile {
 public:
  ~CdxFile();
  CdxFile(const CdxFile&) = delete;
  CdxFile& operator=(const CdxFile&) = delete;

  // Creates (or replaces) a file with no tags.
  static std::unique_ptr<CdxFile> Create(const std::string& path);
  static std::unique_ptr<CdxFile> Open(const std::string& path, bool shared, bool readOnly);
  // Whether the bytes of an index file's first page are a compound header.
  static bool LooksLikeCdx(const unsigned char* page, std::size_t size);

  // Holds the index lock (shared mode) for one call, or for several that
  // must see the file unchanged by others (nested holds share it); the
  // first hold reads the header and, when another process changed the
  // file, the tag directory.
  class Hold {
   public:
    Hold(CdxFile& file, bool writing);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    bool ok() const { return ok_; }

   private:
    CdxFile& file_;
    bool ok_ = false;
  };

  const std::string& path() const { return path_; }
  bool shared() const { return shared_; }
  // Tags in directory (name) order.
  const std::vector<std::unique_ptr<CdxTag>>& tags() const { return tags_; }
  // Moves whenever tags() changes: tags added or retired, here or by
  // another process.
  std::uint64_t tags_version() const { return tagsVersion_; }
  CdxTag* Tag(const std::string& name);
  // Adds a tag (an empty tree); a tag of the same name is replaced: it is
  // retired, its nodes and header going to the free list, and the new
  // one has a header of its own (so that other processes tell the two
  // apart).
  CdxTag* AddTag(const CdxTagInfo& info);
  // Reads the tag directory (under the index lock).
  bool LoadTags();
  // Lets go of the retired tags; no pointer to them may remain.
  void ForgetRetired() { retired_.clear(); }
  // Writes the pages kept back (exclusive use) to the file; false when a
  // write failed (raised; the pages stay kept for the next try).
  bool WritePending();

 private:
  friend class CdxTag;
  static constexpr std::size_t kHeadRead = 16;
  CdxFile() = default;
  // Brings tags() in line with the directory in the file: tags that stay
  // keep their objects, new ones are read, the others are retired.
  bool ReadTags();
  bool Begin(bool writing);
  void End();
  bool ReadHeader();
  bool WriteHeader();
  bool ReadPage(std::uint32_t offset, unsigned char* page);
  // Bytes within one page, through the pages kept back.
  bool ReadBytes(std::uint32_t offset, unsigned char* data, std::size_t size);
  bool WriteBytes(std::uint32_t offset, const unsigned char* data, std::size_t size);
  bool WritePage(std::uint32_t offset, const unsigned char* page);
  // `size` bytes of whole pages from `offset` in one write.
  bool WritePages(std::uint32_t offset, const unsigned char* pages, std::size_t size);
  // A page from the free list, or new pages at the end of the file
  // (written with zeros unless `zero` is false: the caller writes them).
  bool Alloc(std::uint32_t& offset, std::uint32_t pages = 1, bool zero = true);
  bool Free(std::uint32_t offset);
  bool Bad(const std::string& what);
  bool ReadTagInfo(std::uint32_t header, CdxTagInfo& info);
  bool WriteTagHeader(std::uint32_t header, const CdxTagInfo& info, std::uint32_t root);

  std::string path_;
  bool shared_ = false;
  bool readOnly_ = false;
  std::unique_ptr<os::SharedFile> file_;
  std::uint64_t fileSize_ = 0;
  std::uint32_t freeList_ = 0;
  std::uint32_t counter_ = 0;
  std::uint64_t generation_ = 0;  // moves whenever cached nodes are dropped
  int holds_ = 0;
  bool locked_ = false;
  bool writing_ = false;
  bool changed_ = false;
  bool freeMoved_ = false;
  std::unique_ptr<CdxTag> directory_;
  std::vector<std::unique_ptr<CdxTag>> tags_;
  std::uint64_t tagsVersion_ = 0;
  // Tags gone from the directory, kept until ForgetRetired so that a
  // pointer to one fails cleanly instead of dangling.
  std::vector<std::unique_ptr<CdxTag>> retired_;
  // Exclusive use: changed pages not yet written, by offset.
  bool behind_ = false;
  KeptPages<kCdxPageSize> pending_;
};

}  // namespace talvi::dbf
