// SPDX-License-Identifier: MIT
// The file of one open table: the system's file, read and written at once,
// or, while no other open can change it (an exclusive open), through a few
// pages of cache that collect reads and writes.
//
// The cache holds at most kPages pages of kPageSize bytes of the records'
// part of the file (the header before it is always read and written at
// once). A page is taken when an access continues where the
// last one ended or a write goes beyond the end of the file (appends); any
// other access to a byte range that no page holds goes to the system at
// once, so random access costs what it costs without a cache. Written
// pages reach the system when their slot is needed, on WriteBack and
// before a truncation; a page whose write fails stays written-to and is
// tried again there, so a failure is always seen by a WriteBack. Reads see
// every byte written, buffered or not.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "os/shared_file.h"

namespace talvi::dbf {

class TableFile {
 public:
  static constexpr std::size_t kPageSize = 64 * 1024;
  static constexpr std::size_t kPages = 8;

  explicit TableFile(std::unique_ptr<os::SharedFile> file);
  ~TableFile();
  TableFile(const TableFile&) = delete;
  TableFile& operator=(const TableFile&) = delete;

  // The calls of os::SharedFile. With the cache on, ReadAt and Size see
  // the bytes written so far, buffered or not.
  std::int64_t ReadAt(std::uint64_t offset, void* data, std::size_t size);
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  std::int64_t Size();
  // Both write the buffered pages back first.
  bool Truncate(std::uint64_t size);
  bool Flush(bool to_disk);
  bool TryLock(std::uint64_t offset, std::uint64_t length) {
    return file_->TryLock(offset, length);
  }
  bool Unlock(std::uint64_t offset, std::uint64_t length) { return file_->Unlock(offset, length); }
  int LastError() const { return file_->LastError(); }

  // Turns the cache on for the bytes from `cache_from` on; the caller
  // guarantees that no other open changes the file from now on. False when
  // the file's size cannot be asked.
  bool StartCache(std::uint64_t cache_from);
  bool cached() const { return cached_; }
  // Whether written bytes wait in the cache.
  bool dirty() const;
  // Hands every buffered byte to the system, in file order. False at the
  // first page whose write fails (LastError tells why); it and the pages
  // after it stay buffered.
  bool WriteBack();
  // Forgets the buffered writes (after a failed write-back that will not
  // be tried again).
  void Discard();
  // Puts `fresh` in the place of the file (os::SharedFile::Replace) once
  // the buffered writes reached the old one, so that a failed replace
  // leaves the old file whole; the cache starts afresh either way.
  bool Replace(std::unique_ptr<os::SharedFile> fresh, int& oscode);

 private:
  struct Page {
    std::uint64_t base = 0;
    std::uint64_t used = 0;                    // when last touched, for choosing a slot
    std::size_t dirty_from = 0, dirty_to = 0;  // written bytes, page-relative
    bool valid = false;
    std::unique_ptr<char[]> bytes;
  };

  std::uint64_t PageBase(std::uint64_t offset) const;
  Page* Find(std::uint64_t offset);
  Page* Take(std::uint64_t offset, bool& failed);
  bool WriteBackPage(Page& page);

  std::unique_ptr<os::SharedFile> file_;
  std::uint64_t cache_from_ = 0;
  bool cached_ = false;
  std::array<Page, kPages> pages_;
  Page* last_ = nullptr;  // the page of the last hit, looked at first
  std::uint64_t clock_ = 0;
  std::uint64_t size_ = 0;       // the file's size with the buffered bytes
  std::uint64_t disk_size_ = 0;  // what the system has
  std::uint64_t next_ = 0;       // where the last access ended
};

}  // namespace talvi::dbf
