// SPDX-License-Identifier: MIT
// Pack: the deleted records go, and the memo file keeps only the memos of
// the records that stay, so that no dead blocks remain. Zap: every record
// goes, and every memo.
//
// Every step leaves, under the table's own names, a table and a memo file
// that belong together: the old pair until the packed table takes the
// table's name, the packed pair after. A crash anywhere leaves files that
// this engine and other DBF programs read as they are, with nothing to
// roll back or forward (README.md, "Pack and zap, and crashes"):
//
//  1. The memos of the records that stay are copied as stored, one after
//     the other, past the end of the memo file, and the header's next free
//     block moves past them. The old table still finds its memos.
//  2. The packed table (the records that stay, pointing at the copies) is
//     written beside the table, flushed to the device and renamed over it.
//  3. The copies are copied again, in the same layout, to the front of the
//     memo file: blocks that no record of the packed table points at.
//  4. The packed table is written beside again, pointing at the front
//     copies, and renamed over the table.
//  5. The next free block moves back to the end of the front copies and the
//     memo file is cut there.
//
// Zap writes the empty table beside and renames it over the table (step
// 2 with no record), then empties the memo file (step 5).
#include <algorithm>
#include <filesystem>

#include "dbf/codes.h"
#include "dbf/date.h"
#include "dbf/field.h"
#include "dbf/raise.h"
#include "dbf/table.h"

namespace talvi::dbf {
namespace {

bool IsMemo(const FieldDef& f) {
  return f.type == 'M' || f.type == 'G' || f.type == 'P';
}

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

struct Table::PackPlan {
  bool memos = false;          // the memo file is compacted (not dBase IV's)
  std::uint32_t first = 0;     // the first block after the memo header
  std::uint32_t end = 0;       // where the copies of step 1 start
  std::uint32_t used = 0;      // the blocks the copies take
  std::uint32_t old_free = 0;  // the memo header's next free block before
  std::uint64_t old_size = 0;  // the memo file's size before
  char old_head[4] = {};       // its first bytes as they were (read: `started`)
  bool started = false;
  // For each memo field of each record that stays, in order: the copy's
  // block counted from the start of the copies, plus 1 (0: no memo).
  std::vector<std::uint32_t> offsets;
};

bool Table::ForEachRecord(const std::function<bool(std::uint32_t, std::string_view)>& fn) {
  const std::size_t length = header_.record_length;
  const std::uint32_t count = RecordCount();
  const auto per_read = static_cast<std::uint32_t>(std::max<std::size_t>(1, kChunk / length));
  std::string chunk;
  for (std::uint32_t r = 1; r <= count;) {
    const std::uint32_t n = std::min(per_read, count - r + 1);
    chunk.resize(n * length);
    const std::int64_t got = file_->ReadAt(RecordOffset(r), chunk.data(), chunk.size());
    if (got < 0) return IoFail(kGenRead, kSubRead, "pack", file_->LastError());
    if (static_cast<std::size_t>(got) != chunk.size()) return Corrupt(path_, "record cut short");
    for (std::uint32_t k = 0; k < n; ++k) {
      if (!fn(r + k, std::string_view(chunk).substr(k * length, length))) return false;
    }
    r += n;
  }
  return true;
}

bool Table::CopyMemosToEnd(PackPlan& plan) {
  MemoFile& memo = *memo_;
  const std::int64_t size = memo.file().Size();
  if (size < 0) return IoFail(kGenRead, kSubRead, "pack", memo.file().LastError());
  if (memo.file().ReadAt(0, plan.old_head, sizeof plan.old_head) != sizeof plan.old_head) {
    return Corrupt(memo_path_, "memo file shorter than its header");
  }
  plan.started = true;
  plan.first = memo.FirstBlock();
  plan.old_size = static_cast<std::uint64_t>(size);
  plan.old_free = memo.NextFree();
  plan.end = std::max({plan.old_free, memo.BlocksOf(plan.old_size), plan.first});
  NextMemoStart(0);  // the extents of the old memos, from every pointer
  const auto bound = [this](std::uint32_t b) { return NextMemoStart(b); };
  const std::uint64_t bs = memo.BlockSize();
  std::string stored;
  std::string why;
  const bool ok = ForEachRecord([&](std::uint32_t r, std::string_view record) {
    if (record[0] == '*') return true;
    for (const FieldDef& f : header_.fields) {
      if (!IsMemo(f)) continue;
      std::uint32_t block = 0;
      // A pointer that cannot be read is an error of that record, as it is
      // for a read; the pack stops before anything is changed.
      if (!MemoPointer(record.substr(f.offset, f.length), block)) {
        return Corrupt(path_, "record " + std::to_string(r) + ": memo pointer is not a number");
      }
      if (block != 0 && !memo.ReadStored(block, stored, why, bound)) {
        return Corrupt(memo_path_, why);
      }
      if (block == 0 || stored.empty()) {
        plan.offsets.push_back(0);
        continue;
      }
      const std::uint32_t blocks = memo.BlocksOf(stored.size());
      stored.resize(static_cast<std::size_t>(blocks * bs), '\0');
      if (!memo.file().WriteAt((std::uint64_t{plan.end} + plan.used) * bs, stored.data(),
                               stored.size())) {
        return Fail(Failure(kGenWrite, kSubWrite)
                        .Os(memo.file().LastError())
                        .File(memo_path_)
                        .Op("pack")
                        .Desc("memo write failed"));
      }
      plan.offsets.push_back(plan.used + 1);
      plan.used += blocks;
    }
    return true;
  });
  if (!ok) return false;
  if (!memo.SetNextFree(plan.end + plan.used) || !memo.file().Flush(true)) {
    return Fail(Failure(kGenWrite, kSubWrite)
                    .Os(memo.file().LastError())
                    .File(memo_path_)
                    .Op("pack")
                    .Desc("memo write failed"));
  }
  return true;
}

void Table::UndoMemoCopies(const PackPlan& plan) {
  // Back to the header and the size before step 1; what fails here only
  // leaves unused blocks behind.
  if (!plan.started) return;
  memo_->file().WriteAt(0, plan.old_head, sizeof plan.old_head);
  memo_->file().Truncate(plan.old_size);
}

bool Table::WritePacked(const PackPlan& plan, bool front, bool keep) {
  const std::string fresh_path = path_ + ".pack";
  os::OpenMode mode = os::ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  mode.share_delete = true;
  int oscode = 0;
  auto out = os::SharedFile::Open(fresh_path, mode, oscode);
  if (!out) {
    return Fail(Failure(kGenCreate, kSubCreate)
                    .Os(oscode)
                    .File(fresh_path)
                    .Op("pack")
                    .Desc("Create error"));
  }
  const auto fail_out = [&](const std::string& what) {
    Fail(Failure(kGenWrite, kSubWrite).Os(out->LastError()).File(fresh_path).Op("pack").Desc(what));
    out.reset();
    std::error_code ec;
    std::filesystem::remove(fresh_path, ec);
    return false;
  };
  std::uint32_t kept = 0;
  std::size_t next_pointer = 0;
  std::string buf;
  std::uint64_t at = header_.header_length;
  bool write_ok = true;
  const bool read_ok = !keep || ForEachRecord([&](std::uint32_t, std::string_view record) {
    if (record[0] == '*') return true;
    ++kept;
    const std::size_t start = buf.size();
    buf.append(record);
    for (const FieldDef& f : header_.fields) {
      if (!plan.memos || !IsMemo(f)) continue;
      const std::uint32_t offset = plan.offsets[next_pointer++];
      const std::uint32_t block = offset == 0 ? 0 : (front ? plan.first : plan.end) + offset - 1;
      buf.replace(start + f.offset, f.length, MemoPointerBytes(block, f.length));
    }
    if (buf.size() >= kChunk) {
      write_ok = out->WriteAt(at, buf.data(), buf.size());
      at += buf.size();
      buf.clear();
    }
    return write_ok;
  });
  if (!read_ok && write_ok) {
    out.reset();
    std::error_code ec;
    std::filesystem::remove(fresh_path, ec);
    return false;
  }
  buf += '\x1A';
  if (!write_ok || !out->WriteAt(at, buf.data(), buf.size())) return fail_out("pack write failed");
  // The header as read (descriptors, a Visual FoxPro back-link, the bytes
  // other writers keep), with the new count and today's date.
  std::string head(header_.header_length, '\0');
  if (file_->ReadAt(0, head.data(), head.size()) != static_cast<std::int64_t>(head.size())) {
    return fail_out("header read failed");
  }
  TableHeader packed = header_;
  const Ymd today = FromJulianDay(Today());
  packed.year = today.year;
  packed.month = today.month;
  packed.day = today.day;
  packed.count = kept;
  head.replace(0, kPrefixSize, EncodePrefix(packed));
  if (!out->WriteAt(0, head.data(), head.size()) || !out->Flush(true)) {
    return fail_out("pack write failed");
  }
  if (!file_->Replace(std::move(out), oscode)) {
    std::error_code ec;
    std::filesystem::remove(fresh_path, ec);
    return Fail(Failure(kGenWrite, kSubWrite)
                    .Os(oscode)
                    .File(path_)
                    .Op("pack")
                    .Desc("the packed table cannot take the table's name"));
  }
  header_ = std::move(packed);
  header_.prefix = head.substr(0, kPrefixSize);
  file_size_ = static_cast<std::int64_t>(at + buf.size());
  date_touched_ = true;
  return true;
}

bool Table::CompactMemos(const PackPlan& plan) {
  MemoFile& memo = *memo_;
  const std::uint64_t bs = memo.BlockSize();
  const auto fail = [&] {
    return Fail(Failure(kGenWrite, kSubWrite)
                    .Os(memo.file().LastError())
                    .File(memo_path_)
                    .Op("pack")
                    .Desc("the memo file was not compacted (the table is packed)"));
  };
  // Step 3: the front blocks are dead now; the copies go there byte for
  // byte (the regions do not overlap, see Pack).
  const std::uint64_t bytes = std::uint64_t{plan.used} * bs;
  std::string chunk;
  for (std::uint64_t done = 0; done < bytes;) {
    chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, bytes - done)));
    const std::uint64_t from = std::uint64_t{plan.end} * bs + done;
    if (memo.file().ReadAt(from, chunk.data(), chunk.size()) !=
            static_cast<std::int64_t>(chunk.size()) ||
        !memo.file().WriteAt(std::uint64_t{plan.first} * bs + done, chunk.data(), chunk.size())) {
      return fail();
    }
    done += chunk.size();
  }
  if (!memo.file().Flush(true)) return fail();
  // Step 4, then 5.
  if (plan.used > 0 && !WritePacked(plan, true)) return false;
  const std::uint32_t free = plan.first + plan.used;
  if (!memo.SetNextFree(free) || !memo.file().Truncate(std::uint64_t{free} * bs) ||
      !memo.file().Flush(true)) {
    return fail();
  }
  return true;
}

bool Table::Pack() {
  if (options_.shared || options_.read_only) {
    return Fail(Failure(options_.read_only ? kGenReadOnly : kGenShared, kSubExclusive)
                    .File(path_)
                    .Op("pack")
                    .Desc("Exclusive, writable use required"));
  }
  PackPlan plan;
  // dBase IV memo files are read only here: their memos stay where they are.
  plan.memos = memo_ && MemoKindOf(header_) != MemoKind::kDbtIV;
  memo_starts_known_ = false;
  if (plan.memos && !CopyMemosToEnd(plan)) {
    UndoMemoCopies(plan);
    return false;
  }
  if (!WritePacked(plan, false)) {
    if (plan.memos) UndoMemoCopies(plan);
    return false;
  }
  memo_starts_known_ = false;
  memo_starts_.clear();
  // From here on the table is packed, whatever fails: its error is raised,
  // and the memo file keeps unused blocks until the next pack. When the
  // memos took more room as copies than the old file had (two records that
  // pointed at one memo), the front would run into the copies: they stay
  // at the end.
  if (plan.memos && plan.first + plan.used <= plan.end) CompactMemos(plan);
  return true;
}

bool Table::Zap() {
  if (options_.shared || options_.read_only) {
    return Fail(Failure(options_.read_only ? kGenReadOnly : kGenShared, kSubExclusive)
                    .File(path_)
                    .Op("zap")
                    .Desc("Exclusive, writable use required"));
  }
  if (!WritePacked(PackPlan{}, false, false)) return false;
  memo_starts_.clear();
  if (memo_) {
    // The memo header stays (an FPT keeps its block size).
    const std::uint32_t first = memo_->FirstBlock();
    if (!memo_->SetNextFree(first) ||
        !memo_->file().Truncate(std::uint64_t{first} * memo_->BlockSize())) {
      return IoFail(kGenWrite, kSubWrite, "zap", memo_->file().LastError());
    }
  }
  return true;
}

}  // namespace talvi::dbf
