// SPDX-License-Identifier: MIT
// dBase III DBT (512-byte blocks, memos ended by 0x1A 0x1A) and the dBase IV
// variant (block header FF FF 08 00 + length), read only.
#include <algorithm>

#include "dbf/memo_impl.h"

namespace talvi::dbf {

std::uint32_t LoadBe32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[0]) << 24 | static_cast<std::uint32_t>(u[1]) << 16 |
         static_cast<std::uint32_t>(u[2]) << 8 | u[3];
}

std::uint32_t LoadLe32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(u[3]) << 24 | static_cast<std::uint32_t>(u[2]) << 16 |
         static_cast<std::uint32_t>(u[1]) << 8 | u[0];
}

void StoreBe32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (24 - 8 * i));
}

void StoreLe32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

namespace {

constexpr std::uint32_t kBlock = 512;
constexpr std::size_t kChunk = 64 * 1024;

class Dbt final : public MemoFile {
 public:
  Dbt(std::unique_ptr<os::SharedFile> file, bool dbase4, std::uint32_t block_size)
      : MemoFile(std::move(file)), dbase4_(dbase4), block_size_(block_size) {}

  std::uint32_t NextFree() override {
    char h[4] = {};
    if (file_->ReadAt(0, h, 4) != 4) return 0;
    return LoadLe32(h);
  }

  bool Read(std::uint32_t block, std::string& out, std::string& why,
            const BoundOf& bound) override {
    out.clear();
    const std::int64_t size = file_->Size();
    const std::uint64_t at = std::uint64_t{block} * block_size_;
    if (block == 0 || size < 0 || at >= static_cast<std::uint64_t>(size)) {
      why = "memo pointer " + std::to_string(block) + " outside the memo file";
      return false;
    }
    if (dbase4_) return ReadIV(at, static_cast<std::uint64_t>(size), out, why);
    return ReadIII(block, at, static_cast<std::uint64_t>(size), out, why, bound);
  }

  std::uint32_t EndBlock(std::uint32_t block, const BoundOf& bound) override {
    std::string data;
    std::string why;
    if (!Read(block, data, why, bound)) return 0;
    const std::uint64_t used = data.size() + (dbase4_ ? 8 : 2);
    return block + static_cast<std::uint32_t>((used + block_size_ - 1) / block_size_);
  }

  bool Write(std::uint32_t old_block, std::string_view data, std::uint32_t& block, std::string& why,
             const BoundOf& bound) override {
    block = 0;
    if (dbase4_) {
      why = "dBase IV memo files are read only here";
      return false;
    }
    if (data.empty()) return true;
    std::string bytes(data);
    bytes += "\x1A\x1A";
    const std::uint32_t need = Blocks(bytes.size());
    if (old_block != 0 && need <= OldBlocks(old_block, bound)) {
      // Rewritten in place: the rest of its last block is cleared.
      bytes.resize(std::size_t{need} * kBlock, '\0');
      if (!file_->WriteAt(std::uint64_t{old_block} * kBlock, bytes.data(), bytes.size())) {
        why = "memo write failed";
        return false;
      }
      block = old_block;
      return true;
    }
    if (!LockAppend(why)) return false;
    // The header's next free block, but never inside what the file holds
    // (a writer that forgot to move it on must not be overwritten). Both
    // are read here, under the lock, every time: another process may have
    // appended since.
    const std::int64_t size = file_->Size();
    if (size < 0) {
      UnlockAppend();
      why = "memo file size unknown";
      return false;
    }
    std::uint32_t next = std::max<std::uint32_t>(NextFree(), 1);
    if (size > 0) next = std::max(next, Blocks(static_cast<std::uint64_t>(size)));
    bytes.resize(std::size_t{need} * kBlock, '\0');
    char h[4];
    StoreLe32(h, next + need);
    const bool ok = file_->WriteAt(std::uint64_t{next} * kBlock, bytes.data(), bytes.size()) &&
                    file_->WriteAt(0, h, 4);
    UnlockAppend();
    if (!ok) {
      why = "memo write failed";
      return false;
    }
    block = next;
    return true;
  }

  std::uint32_t BlockSize() const override { return block_size_; }
  std::uint32_t FirstBlock() const override { return 1; }

  bool ReadStored(std::uint32_t block, std::string& stored, std::string& why,
                  const BoundOf& bound) override {
    stored.clear();
    if (dbase4_) {
      why = "dBase IV memo files are read only here";
      return false;
    }
    if (!Read(block, stored, why, bound)) return false;
    if (!stored.empty()) stored += "\x1A\x1A";
    return true;
  }

  bool SetNextFree(std::uint32_t block) override {
    char h[4];
    StoreLe32(h, block);
    return file_->WriteAt(0, h, 4);
  }

 private:
  static std::uint32_t Blocks(std::uint64_t bytes) {
    return static_cast<std::uint32_t>((bytes + kBlock - 1) / kBlock);
  }

  // The blocks an in-place rewrite of the memo at `block` may use (0:
  // none). With `bound` the extent that Read finds, never into the next
  // memo of the table. Without it only the blocks up to the first end
  // pair: the memo runs at least that far, so no other memo starts there,
  // whatever the table's pointers say at this moment.
  std::uint32_t OldBlocks(std::uint32_t block, const BoundOf& bound) {
    std::string ignored;
    if (bound) {
      std::string old;
      const std::uint32_t next = bound(block);
      if (!Read(block, old, ignored, bound)) return 0;
      const std::uint32_t blocks = Blocks(old.size() + 2);
      if (next > block && next - block < blocks) return next - block;
      return blocks;
    }
    const std::int64_t got = file_->Size();
    if (got < 0) return 0;
    const auto size = static_cast<std::uint64_t>(got);
    const std::uint64_t at = std::uint64_t{block} * kBlock;
    std::string buf;
    for (std::uint64_t end = at; end < size;) {
      const std::size_t old = buf.size();
      std::string chunk;
      const std::uint64_t next = std::min<std::uint64_t>(end + kChunk, size);
      if (!Load(end, next, chunk)) return 0;
      buf += chunk;
      end = next;
      const std::size_t first = buf.find("\x1A\x1A", old == 0 ? 0 : old - 1);
      if (first != std::string::npos) return Blocks(first + 2);
    }
    return 0;  // no end pair: not rewritten in place
  }

  bool ReadIV(std::uint64_t at, std::uint64_t size, std::string& out, std::string& why) {
    char h[8];
    if (file_->ReadAt(at, h, 8) != 8 || static_cast<unsigned char>(h[0]) != 0xFF ||
        static_cast<unsigned char>(h[1]) != 0xFF) {
      why = "dBase IV memo block without its header";
      return false;
    }
    const std::uint32_t len = LoadLe32(h + 4);
    if (len < 8 || at + len > size) {
      why = "dBase IV memo length " + std::to_string(len) + " runs past the file";
      return false;
    }
    out.resize(len - 8);
    if (file_->ReadAt(at + 8, out.data(), out.size()) != static_cast<std::int64_t>(out.size())) {
      why = "memo read failed";
      return false;
    }
    return true;
  }

  // Reads the bytes from `at` to `end` into `buf` (fewer at the end of the
  // file).
  bool Load(std::uint64_t at, std::uint64_t end, std::string& buf) {
    buf.resize(static_cast<std::size_t>(end - at));
    const std::int64_t got = file_->ReadAt(at, buf.data(), buf.size());
    if (got < 0) return false;
    buf.resize(static_cast<std::size_t>(got));
    return true;
  }

  // A pair at `p` (relative to a memo starting on a block boundary) ends
  // the memo when nothing but 0x00 and 0x1A follows it up to the end of
  // its block: writers pad with zeros, and a longer memo that was there
  // before leaves only its own end pair. Binary data that holds the pair
  // goes on with other bytes.
  static bool CleanEnd(const std::string& buf, std::size_t p) {
    const std::size_t block_end = (p + 2 + kBlock - 1) / kBlock * kBlock;
    for (std::size_t i = p + 2; i < block_end && i < buf.size(); ++i) {
      if (buf[i] != '\0' && buf[i] != '\x1A') return false;
    }
    return true;
  }

  // Reads on from `at` until the end pair. When the first pair is followed
  // by other data in its block, the memo runs to the first clean pair
  // before the next memo of the table (or the next free block), and to the
  // first pair when there is none (a writer's leftovers after the end).
  bool ReadIII(std::uint32_t block, std::uint64_t at, std::uint64_t size, std::string& out,
               std::string& why, const BoundOf& bound) {
    std::string buf;
    std::size_t first = std::string::npos;
    std::uint64_t end = at;
    while (end < size && first == std::string::npos) {
      const std::size_t old = buf.size();
      std::string chunk;
      const std::uint64_t next = std::min<std::uint64_t>(end + kChunk, size);
      if (!Load(end, next, chunk)) {
        why = "memo read failed";
        return false;
      }
      buf += chunk;
      end = next;
      first = buf.find("\x1A\x1A", old == 0 ? 0 : old - 1);
    }
    if (first == std::string::npos) {
      // No pair up to the end of the file: a writer that ends with one
      // 0x1A, or none at all.
      out = buf.substr(0, buf.find('\x1A'));
      return true;
    }
    const std::uint64_t block_end = at + (first + 2 + kBlock - 1) / kBlock * kBlock;
    if (end < block_end && end < size) {
      std::string more;
      if (!Load(end, std::min(block_end, size), more)) more.clear();
      buf += more;
      end = at + buf.size();
    }
    if (CleanEnd(buf, first)) {
      out = buf.substr(0, first);
      return true;
    }
    std::uint32_t limit = bound ? bound(block) : 0;
    if (limit <= block) limit = NextFree();
    const std::uint64_t limit_at = std::min<std::uint64_t>(std::uint64_t{limit} * kBlock, size);
    if (limit_at > end) {
      std::string more;
      if (Load(end, limit_at, more)) buf += more;
    }
    for (std::size_t p = buf.find("\x1A\x1A", first + 2); p != std::string::npos;
         p = buf.find("\x1A\x1A", p + 1)) {
      if (at + p >= limit_at) break;
      if (CleanEnd(buf, p)) {
        out = buf.substr(0, p);
        return true;
      }
    }
    out = buf.substr(0, first);
    return true;
  }

  bool dbase4_;
  std::uint32_t block_size_;
};

}  // namespace

std::string NewDbtHeader() {
  std::string h(kBlock, '\0');
  StoreLe32(h.data(), 1);
  h[16] = '\x03';
  return h;
}

std::unique_ptr<MemoFile> OpenDbt(std::unique_ptr<os::SharedFile> file, bool dbase4,
                                  std::string& why) {
  char h[32] = {};
  const std::int64_t got = file->ReadAt(0, h, sizeof h);
  if (got < 4) {
    why = "memo file shorter than its header";
    return nullptr;
  }
  std::uint32_t block_size = kBlock;
  if (dbase4 && got >= 22) {
    const auto bs = static_cast<std::uint32_t>(static_cast<unsigned char>(h[20]) |
                                               static_cast<unsigned char>(h[21]) << 8);
    if (bs != 0) block_size = bs;
    if (block_size < 32) {
      why = "memo block size " + std::to_string(bs) + " too small";
      return nullptr;
    }
  }
  return std::make_unique<Dbt>(std::move(file), dbase4, block_size);
}

}  // namespace talvi::dbf
