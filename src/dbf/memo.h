// SPDX-License-Identifier: MIT
// Memo files: dBase III DBT (the default for new tables), dBase IV DBT
// (read only) and FoxPro FPT. The layouts are written down in README.md.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/header.h"
#include "os/shared_file.h"

namespace talvi::dbf {

class MemoFile {
 public:
  virtual ~MemoFile() = default;

  // Reads the header of an opened memo file. Null with `why` when the file
  // cannot be a memo file of that kind.
  static std::unique_ptr<MemoFile> Open(MemoKind kind, std::unique_ptr<os::SharedFile> file,
                                        std::string& why);
  // The header of a new, empty memo file of that kind.
  static std::string NewHeader(MemoKind kind);

  // For a DBT memo whose end is ambiguous (a terminator pair followed by
  // more data in its block), the first block after `block` where another
  // memo of the table starts, or 0 when unknown.
  using BoundOf = std::function<std::uint32_t(std::uint32_t block)>;

  // The memo that starts at `block`. False with `why` for a pointer or a
  // length that the file cannot hold.
  virtual bool Read(std::uint32_t block, std::string& out, std::string& why,
                    const BoundOf& bound) = 0;
  // Stores `data` for a field that pointed at `old_block` (0 = none): in
  // place when it fits in the blocks the old memo took, else at the next
  // free block, which is read again under the append lock. Gives the new
  // pointer in `block` (0 for empty data). With `bound` (as for Read) the
  // old memo's extent is the one Read finds, and it must not run into the
  // next memo. Without it (shared mode, where another process's memo may
  // not be in the table yet) a DBT memo counts only the blocks up to its
  // first end pair, which no other memo can share.
  virtual bool Write(std::uint32_t old_block, std::string_view data, std::uint32_t& block,
                     std::string& why, const BoundOf& bound) = 0;
  // The blocks a memo starting at `block` occupies, for `check`: the
  // first free block it reaches; 0 when it cannot be read.
  virtual std::uint32_t EndBlock(std::uint32_t block, const BoundOf& bound) = 0;
  // The next free block as the header says.
  virtual std::uint32_t NextFree() = 0;

  // For pack (table_pack.cpp). The block size in bytes, and the first block
  // after the header.
  virtual std::uint32_t BlockSize() const = 0;
  virtual std::uint32_t FirstBlock() const = 0;
  // The memo at `block` as its blocks hold it: a DBT memo's data and end
  // pair, an FPT memo's type, length and data (so a picture stays a
  // picture). Empty for an empty memo; false with `why` as for Read.
  virtual bool ReadStored(std::uint32_t block, std::string& stored, std::string& why,
                          const BoundOf& bound) = 0;
  // Writes the header's next free block.
  virtual bool SetNextFree(std::uint32_t block) = 0;
  // The blocks that `bytes` take.
  std::uint32_t BlocksOf(std::uint64_t bytes) const {
    return static_cast<std::uint32_t>((bytes + BlockSize() - 1) / BlockSize());
  }

  os::SharedFile& file() { return *file_; }

 protected:
  explicit MemoFile(std::unique_ptr<os::SharedFile> file) : file_(std::move(file)) {}
  // Serialises appends between opens of the memo file (try again briefly,
  // then give up with `why`).
  bool LockAppend(std::string& why);
  void UnlockAppend();

  std::unique_ptr<os::SharedFile> file_;
};

}  // namespace talvi::dbf
