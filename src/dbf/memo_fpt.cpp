// SPDX-License-Identifier: MIT
// FoxPro FPT: big-endian header (next free block, block size) and memo
// blocks that carry their type and length, so binary data is safe.
#include <algorithm>

#include "dbf/memo_impl.h"

namespace talvi::dbf {
namespace {

constexpr std::uint32_t kHeaderSize = 512;
constexpr std::uint32_t kNewBlockSize = 64;
constexpr std::uint32_t kTextType = 1;

class Fpt final : public MemoFile {
 public:
  Fpt(std::unique_ptr<os::SharedFile> file, std::uint32_t block_size)
      : MemoFile(std::move(file)), block_size_(block_size) {}

  std::uint32_t NextFree() override {
    char h[4] = {};
    if (file_->ReadAt(0, h, 4) != 4) return 0;
    return LoadBe32(h);
  }

  bool Read(std::uint32_t block, std::string& out, std::string& why, const BoundOf&) override {
    out.clear();
    std::uint32_t len = 0;
    if (!Length(block, len, why)) return false;
    out.resize(len);
    if (file_->ReadAt(std::uint64_t{block} * block_size_ + 8, out.data(), len) !=
        static_cast<std::int64_t>(len)) {
      why = "memo read failed";
      return false;
    }
    return true;
  }

  std::uint32_t EndBlock(std::uint32_t block, const BoundOf&) override {
    std::uint32_t len = 0;
    std::string why;
    if (!Length(block, len, why)) return 0;
    return block + Blocks(std::uint64_t{len} + 8);
  }

  bool Write(std::uint32_t old_block, std::string_view data, std::uint32_t& block, std::string& why,
             const BoundOf&) override {
    block = 0;
    if (data.empty()) return true;
    if (data.size() > 0xFFFFFFF0u) {
      why = "memo too long";
      return false;
    }
    std::string bytes(8, '\0');
    StoreBe32(bytes.data(), kTextType);
    StoreBe32(bytes.data() + 4, static_cast<std::uint32_t>(data.size()));
    bytes.append(data);
    const std::uint32_t need = Blocks(bytes.size());
    std::uint32_t old_len = 0;
    std::string ignored;
    if (old_block != 0 && Length(old_block, old_len, ignored) &&
        need <= Blocks(std::uint64_t{old_len} + 8)) {
      if (!file_->WriteAt(std::uint64_t{old_block} * block_size_, bytes.data(), bytes.size())) {
        why = "memo write failed";
        return false;
      }
      block = old_block;
      return true;
    }
    if (!LockAppend(why)) return false;
    // Read again under the lock: another process may have appended since.
    const std::int64_t size = file_->Size();
    if (size < 0) {
      UnlockAppend();
      why = "memo file size unknown";
      return false;
    }
    std::uint32_t next = std::max(NextFree(), Blocks(kHeaderSize));
    if (size > 0) next = std::max(next, Blocks(static_cast<std::uint64_t>(size)));
    bytes.resize(std::size_t{need} * block_size_, '\0');
    char h[4];
    StoreBe32(h, next + need);
    const bool ok = file_->WriteAt(std::uint64_t{next} * block_size_, bytes.data(), bytes.size()) &&
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
  std::uint32_t FirstBlock() const override { return Blocks(kHeaderSize); }

  bool ReadStored(std::uint32_t block, std::string& stored, std::string& why,
                  const BoundOf&) override {
    stored.clear();
    std::uint32_t len = 0;
    if (!Length(block, len, why)) return false;
    if (len == 0) return true;
    stored.resize(std::size_t{len} + 8);
    if (file_->ReadAt(std::uint64_t{block} * block_size_, stored.data(), stored.size()) !=
        static_cast<std::int64_t>(stored.size())) {
      stored.clear();
      why = "memo read failed";
      return false;
    }
    return true;
  }

  bool SetNextFree(std::uint32_t block) override {
    char h[4];
    StoreBe32(h, block);
    return file_->WriteAt(0, h, 4);
  }

 private:
  std::uint32_t Blocks(std::uint64_t bytes) const {
    return static_cast<std::uint32_t>((bytes + block_size_ - 1) / block_size_);
  }

  bool Length(std::uint32_t block, std::uint32_t& len, std::string& why) {
    const std::int64_t size = file_->Size();
    const std::uint64_t at = std::uint64_t{block} * block_size_;
    char h[8];
    if (block == 0 || at < kHeaderSize || size < 0 || at + 8 > static_cast<std::uint64_t>(size) ||
        file_->ReadAt(at, h, 8) != 8) {
      why = "memo pointer " + std::to_string(block) + " outside the memo file";
      return false;
    }
    len = LoadBe32(h + 4);
    if (at + 8 + len > static_cast<std::uint64_t>(size)) {
      why = "memo length " + std::to_string(len) + " runs past the memo file";
      return false;
    }
    return true;
  }

  std::uint32_t block_size_;
};

}  // namespace

std::string NewFptHeader() {
  std::string h(kHeaderSize, '\0');
  StoreBe32(h.data(), kHeaderSize / kNewBlockSize);
  h[6] = static_cast<char>(kNewBlockSize >> 8);
  h[7] = static_cast<char>(kNewBlockSize & 0xFF);
  return h;
}

std::unique_ptr<MemoFile> OpenFpt(std::unique_ptr<os::SharedFile> file, std::string& why) {
  char h[8] = {};
  if (file->ReadAt(0, h, sizeof h) != 8) {
    why = "memo file shorter than its header";
    return nullptr;
  }
  const auto bs = static_cast<std::uint32_t>(static_cast<unsigned char>(h[6]) << 8 |
                                             static_cast<unsigned char>(h[7]));
  // A size of 0 is found in the wild and cannot address anything; 1 is
  // byte-sized blocks and works.
  if (bs == 0) {
    why = "memo block size 0";
    return nullptr;
  }
  return std::make_unique<Fpt>(std::move(file), bs);
}

}  // namespace talvi::dbf
