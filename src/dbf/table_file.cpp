// SPDX-License-Identifier: MIT
#include "dbf/table_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace talvi::dbf {

TableFile::TableFile(std::unique_ptr<os::SharedFile> file) : file_(std::move(file)) {}

TableFile::~TableFile() = default;

bool TableFile::StartCache(std::uint64_t cache_from) {
  const std::int64_t size = file_->Size();
  if (size < 0) return false;
  size_ = disk_size_ = static_cast<std::uint64_t>(size);
  cache_from_ = cache_from;
  cached_ = true;
  return true;
}

std::uint64_t TableFile::PageBase(std::uint64_t offset) const {
  return cache_from_ + (offset - cache_from_) / kPageSize * kPageSize;
}

TableFile::Page* TableFile::Find(std::uint64_t offset) {
  const std::uint64_t base = PageBase(offset);
  if (last_ && last_->valid && last_->base == base) return last_;
  for (Page& p : pages_) {
    if (p.valid && p.base == base) return last_ = &p;
  }
  return nullptr;
}

TableFile::Page* TableFile::Take(std::uint64_t offset, bool& failed) {
  failed = false;
  Page* slot = &pages_[0];
  for (Page& p : pages_) {
    if (!p.valid) {
      slot = &p;
      break;
    }
    if (p.used < slot->used) slot = &p;
  }
  // A page that cannot be written back stays where it is; the caller then
  // goes to the system for its bytes.
  if (slot->valid && !WriteBackPage(*slot)) return nullptr;
  slot->valid = false;
  if (!slot->bytes) slot->bytes = std::make_unique<char[]>(kPageSize);
  const std::uint64_t base = PageBase(offset);
  std::size_t have = 0;
  if (base < disk_size_) {
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize, disk_size_ - base));
    const std::int64_t got = file_->ReadAt(base, slot->bytes.get(), want);
    if (got < 0) {
      failed = true;
      return nullptr;
    }
    have = static_cast<std::size_t>(got);
  }
  // Beyond what the system has, the file holds nothing but what is
  // written into this page (or a hole, which reads as zeros).
  std::memset(slot->bytes.get() + have, 0, kPageSize - have);
  slot->base = base;
  slot->dirty_from = slot->dirty_to = 0;
  slot->valid = true;
  return last_ = slot;
}

bool TableFile::WriteBackPage(Page& page) {
  if (page.dirty_from == page.dirty_to) return true;
  if (!file_->WriteAt(page.base + page.dirty_from, page.bytes.get() + page.dirty_from,
                      page.dirty_to - page.dirty_from)) {
    return false;
  }
  disk_size_ = std::max(disk_size_, page.base + page.dirty_to);
  page.dirty_from = page.dirty_to = 0;
  return true;
}

std::int64_t TableFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  if (!cached_) return file_->ReadAt(offset, data, size);
  auto* out = static_cast<char*>(data);
  std::size_t done = 0;
  if (offset < cache_from_) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, cache_from_ - offset));
    const std::int64_t got = file_->ReadAt(offset, out, n);
    if (got < 0 || static_cast<std::size_t>(got) < n) return got;
    done = n;
  }
  while (done < size && offset + done < size_) {
    const std::uint64_t at = offset + done;
    const std::uint64_t base = PageBase(at);
    const auto n = static_cast<std::size_t>(
        std::min<std::uint64_t>({size - done, base + kPageSize - at, size_ - at}));
    Page* page = Find(at);
    bool failed = false;
    if (!page && (done > 0 || at == next_)) page = Take(at, failed);
    if (failed) return -1;
    if (page) {
      std::memcpy(out + done, page->bytes.get() + (at - base), n);
      page->used = ++clock_;
    } else {
      // No page holds these bytes, so the system has the latest of them;
      // what it lacks below the size is a hole.
      const std::int64_t got = file_->ReadAt(at, out + done, n);
      if (got < 0) return -1;
      std::memset(out + done + got, 0, n - static_cast<std::size_t>(got));
    }
    done += n;
  }
  next_ = offset + done;
  return static_cast<std::int64_t>(done);
}

bool TableFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  // A read-only file refuses the write with its own code.
  if (!cached_ || !file_->writable()) return file_->WriteAt(offset, data, size);
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  if (offset < cache_from_) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, cache_from_ - offset));
    if (!file_->WriteAt(offset, in, n)) return false;
    disk_size_ = std::max(disk_size_, offset + n);
    size_ = std::max(size_, offset + n);
    done = n;
  }
  while (done < size) {
    const std::uint64_t at = offset + done;
    const std::uint64_t base = PageBase(at);
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - done, base + kPageSize - at));
    Page* page = Find(at);
    bool failed = false;
    // Appends and runs of writes are gathered; a lone write elsewhere goes
    // out at once.
    if (!page && (done > 0 || at == next_ || at + n > disk_size_)) page = Take(at, failed);
    if (failed) return false;
    if (page) {
      const auto from = static_cast<std::size_t>(at - base);
      std::memcpy(page->bytes.get() + from, in + done, n);
      if (page->dirty_from == page->dirty_to) {
        page->dirty_from = from;
        page->dirty_to = from + n;
      } else {
        page->dirty_from = std::min(page->dirty_from, from);
        page->dirty_to = std::max(page->dirty_to, from + n);
      }
      page->used = ++clock_;
    } else {
      if (!file_->WriteAt(at, in + done, n)) return false;
      disk_size_ = std::max(disk_size_, at + n);
    }
    size_ = std::max(size_, at + n);
    done += n;
  }
  next_ = offset + size;
  return true;
}

std::int64_t TableFile::Size() {
  if (!cached_) return file_->Size();
  return static_cast<std::int64_t>(size_);
}

bool TableFile::dirty() const {
  return std::any_of(pages_.begin(), pages_.end(),
                     [](const Page& p) { return p.valid && p.dirty_from != p.dirty_to; });
}

bool TableFile::WriteBack() {
  // In file order: the lowest written page first.
  for (;;) {
    Page* next = nullptr;
    for (Page& p : pages_) {
      if (p.valid && p.dirty_from != p.dirty_to && (!next || p.base < next->base)) next = &p;
    }
    if (!next) return true;
    if (!WriteBackPage(*next)) return false;
  }
}

void TableFile::Discard() {
  for (Page& p : pages_) p.valid = false;
  last_ = nullptr;
  next_ = 0;
  if (!cached_) return;
  const std::int64_t size = file_->Size();
  if (size >= 0) disk_size_ = static_cast<std::uint64_t>(size);
  size_ = disk_size_;
}

bool TableFile::Replace(std::unique_ptr<os::SharedFile> fresh, int& oscode) {
  if (cached_ && file_->writable() && !WriteBack()) {
    oscode = file_->LastError();
    return false;
  }
  // The pages, clean by now, are dropped either way: they are of the old
  // file, and on Windows of an open closed for the rename (which may not
  // have been given back, see SharedFile::Replace).
  const bool replaced = os::SharedFile::Replace(file_, std::move(fresh), oscode);
  Discard();
  return replaced;
}

bool TableFile::Truncate(std::uint64_t size) {
  if (cached_) {
    if (!file_->writable()) return file_->Truncate(size);
    if (!WriteBack()) return false;
    Discard();
  }
  if (!file_->Truncate(size)) return false;
  size_ = disk_size_ = size;
  return true;
}

bool TableFile::Flush(bool to_disk) {
  if (cached_ && !WriteBack()) return false;
  return file_->Flush(to_disk);
}

}  // namespace talvi::dbf
