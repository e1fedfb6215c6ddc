// SPDX-License-Identifier: MIT
// Pack: the deleted records go, and the memo file is written anew with the
// memos of the records that stay, so that no dead blocks remain.
//
// The new memo file is written beside the old one first and takes its name
// only when it is complete; then the records move down with their new memo
// pointers. Until the rename the old files are untouched; a failure after
// it (or a crash) can leave records whose pointers are still the old ones,
// as a crash in the middle of moving records leaves duplicates: pack is an
// exclusive maintenance step, run on a copy where that matters.
#include <filesystem>

#include "dbf/codes.h"
#include "dbf/field.h"
#include "dbf/memo_impl.h"
#include "dbf/raise.h"
#include "dbf/settings.h"
#include "dbf/table.h"

namespace talvi::dbf {
namespace {

bool IsMemo(const FieldDef& f) {
  return f.type == 'M' || f.type == 'G' || f.type == 'P';
}

constexpr std::size_t kMemoHeader = 512;

}  // namespace

bool Table::CopyMemos(std::vector<std::uint32_t>& blocks, const std::string& fresh) {
  const MemoKind kind = MemoKindOf(header_);
  // The new file starts with the old header (an FPT keeps its block
  // size), its next free block set back to the first after the header.
  char h[kMemoHeader] = {};
  memo_->file().ReadAt(0, h, sizeof h);
  if (kind == MemoKind::kFpt) {
    const unsigned bs = static_cast<unsigned>(static_cast<unsigned char>(h[6]) << 8 |
                                              static_cast<unsigned char>(h[7]));
    StoreBe32(h, static_cast<std::uint32_t>((kMemoHeader + bs - 1) / bs));
  } else {
    StoreLe32(h, 1);
  }
  os::OpenMode mode = os::ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  int oscode = 0;
  auto file = os::SharedFile::Open(fresh, mode, oscode);
  if (!file || !file->WriteAt(0, h, sizeof h)) {
    return Fail(Failure(kGenCreate, kSubCreate)
                    .Os(file ? file->LastError() : oscode)
                    .File(fresh)
                    .Op("pack")
                    .Desc("Create error"));
  }
  std::string why;
  auto out = MemoFile::Open(kind, std::move(file), why);
  if (!out) return Corrupt(fresh, why);
  NextMemoStart(0);  // the extents of the old memos, before records move
  const auto bound = [this](std::uint32_t b) { return NextMemoStart(b); };
  std::string record;
  std::string data;
  const std::uint32_t count = RecordCount();
  for (std::uint32_t r = 1; r <= count; ++r) {
    if (!ReadRecord(r, record)) return false;
    if (record[0] == '*') continue;
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
      if (!IsMemo(header_.fields[i])) continue;
      std::uint32_t old_block = 0;
      std::uint32_t block = 0;
      // A pointer that cannot be read is an error of that record, as it is
      // for a read; the pack stops before anything is changed.
      if (!MemoPointer(RawValue(record, static_cast<int>(i)), old_block)) {
        return Corrupt(path_, "record " + std::to_string(r) + ": memo pointer is not a number");
      }
      if (old_block != 0) {
        if (!memo_->Read(old_block, data, why, bound)) return Corrupt(memo_path_, why);
        if (!out->Write(0, data, block, why, nullptr)) {
          return Fail(Failure(kGenWrite, kSubWrite)
                          .Os(out->file().LastError())
                          .File(fresh)
                          .Op("pack")
                          .Desc(why));
        }
      }
      blocks.push_back(block);
    }
  }
  if (!out->file().Flush(Engine().commit_to_disk)) {
    return IoFail(kGenWrite, kSubWrite, "pack", out->file().LastError());
  }
  return true;
}

bool Table::SwapMemo(const std::string& fresh) {
  memo_.reset();  // Windows renames no file that is open
  std::error_code ec;
  std::filesystem::rename(fresh, memo_path_, ec);
  if (ec) {
    Fail(Failure(kGenWrite, kSubWrite)
             .Os(os::kOsAccessDenied)
             .File(memo_path_)
             .Op("pack")
             .Desc("the packed memo file cannot replace the old one: " + ec.message()));
    std::filesystem::remove(fresh, ec);
    OpenMemo();
    return false;
  }
  return OpenMemo();
}

bool Table::Pack() {
  if (options_.shared || options_.read_only) {
    return Fail(Failure(options_.read_only ? kGenReadOnly : kGenShared, kSubExclusive)
                    .File(path_)
                    .Op("pack")
                    .Desc("Exclusive, writable use required"));
  }
  // dBase IV memo files are read only here: their memos stay where they are.
  const bool memos = memo_ && MemoKindOf(header_) != MemoKind::kDbtIV;
  std::vector<std::uint32_t> blocks;
  if (memos) {
    const std::string fresh = memo_path_ + ".pack";
    if (!CopyMemos(blocks, fresh)) {
      std::error_code ec;
      std::filesystem::remove(fresh, ec);
      return false;
    }
    if (!SwapMemo(fresh)) return false;
  }
  const std::uint32_t count = RecordCount();
  std::string record;
  std::uint32_t kept = 0;
  std::size_t next_block = 0;
  for (std::uint32_t r = 1; r <= count; ++r) {
    if (!ReadRecord(r, record)) return false;
    if (record[0] == '*') continue;
    ++kept;
    bool changed = kept != r;
    if (memos) {
      for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        const FieldDef& f = header_.fields[i];
        if (!IsMemo(f)) continue;
        const std::string bytes = MemoPointerBytes(blocks[next_block++], f.length);
        if (record.compare(f.offset, f.length, bytes) != 0) {
          record.replace(f.offset, f.length, bytes);
          changed = true;
        }
      }
    }
    if (changed && !file_->WriteAt(RecordOffset(kept), record.data(), record.size())) {
      return IoFail(kGenWrite, kSubWrite, "pack", file_->LastError());
    }
  }
  const char eof = '\x1A';
  const std::uint64_t end = header_.header_length + std::uint64_t{kept} * header_.record_length;
  if (!file_->WriteAt(end, &eof, 1) || !file_->Truncate(end + 1)) {
    return IoFail(kGenWrite, kSubWrite, "pack", file_->LastError());
  }
  file_size_ = static_cast<std::int64_t>(end + 1);
  header_.count = kept;
  memo_starts_known_ = false;
  memo_starts_.clear();
  return WritePrefix();
}

}  // namespace talvi::dbf
