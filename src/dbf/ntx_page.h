// SPDX-License-Identifier: MIT
// One NTX tree page kept as the bytes it is written as: the key count,
// the slot offsets in physical order (the engine's own layout, see
// README.md), then the items (left child, record number, key), the item
// after the last one carrying only the rightmost child, and zeros after
// it. Searches read the items in place; an insertion or removal shifts
// the items after it by one item's bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace talvi::dbf {

inline constexpr std::uint32_t kNtxPageSize = 1024;

struct NtxPage {
  std::uint32_t offset = 0;
  std::array<unsigned char, kNtxPageSize> bytes{};
};

// Where the items of a file's pages are: every page of a file has the
// same slot array and item size.
class NtxLayout {
 public:
  NtxLayout() = default;
  NtxLayout(std::size_t keySize, std::size_t maxItems)
      : key_(keySize), item_(keySize + 8), max_(maxItems), first_(2 + 2 * (maxItems + 1)) {}

  std::size_t max_items() const { return max_; }
  std::size_t item_size() const { return item_; }

  static std::size_t Count(const NtxPage& p) {
    return static_cast<std::size_t>(p.bytes[0] | (p.bytes[1] << 8));
  }
  // Child i (i up to the count: the last is the rightmost child); 0 in leaves.
  std::uint32_t Child(const NtxPage& p, std::size_t i) const { return Get32(Item(p, i)); }
  std::uint32_t Recno(const NtxPage& p, std::size_t i) const { return Get32(Item(p, i) + 4); }
  std::string_view Key(const NtxPage& p, std::size_t i) const {
    return {reinterpret_cast<const char*>(Item(p, i) + 8), key_};
  }
  bool Leaf(const NtxPage& p) const { return Child(p, Count(p)) == 0; }
  // The first item for which `before(key, recno)` is false; the items for
  // which it is true come first.
  template <class Before>
  std::size_t PartitionPoint(const NtxPage& p, Before before) const {
    std::size_t lo = 0, hi = Count(p);
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (before(Key(p, mid), Recno(p, mid))) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }
  const unsigned char* Item(const NtxPage& p, std::size_t i) const {
    return p.bytes.data() + first_ + i * item_;
  }
  unsigned char* Item(NtxPage& p, std::size_t i) const {
    return p.bytes.data() + first_ + i * item_;
  }

  // An empty page: no items, `right` as its only child.
  void Init(NtxPage& p, std::uint32_t right) const {
    p.bytes.fill(0);
    for (std::size_t i = 0; i <= max_; ++i) Put16(p.bytes.data() + 2 + 2 * i, first_ + i * item_);
    Put32(Item(p, 0), right);
  }
  void SetChild(NtxPage& p, std::size_t i, std::uint32_t child) const { Put32(Item(p, i), child); }
  void SetEntry(NtxPage& p, std::size_t i, std::uint32_t recno, std::string_view key) const {
    Put32(Item(p, i) + 4, recno);
    std::memcpy(Item(p, i) + 8, key.data(), key_);
  }
  // Puts `count` items (`items`, whole items back to back) before item
  // `at`; the page must have room for them.
  void Splice(NtxPage& p, std::size_t at, const unsigned char* items, std::size_t count) const {
    const std::size_t n = Count(p);
    std::memmove(Item(p, at + count), Item(p, at), (n + 1 - at) * item_);
    std::memcpy(Item(p, at), items, count * item_);
    Put16(p.bytes.data(), n + count);
  }
  void Insert(NtxPage& p, std::size_t at, std::uint32_t child, std::uint32_t recno,
              std::string_view key) const {
    unsigned char item[kNtxPageSize];
    PutItem(item, child, recno, key);
    Splice(p, at, item, 1);
  }
  // The bytes of one item.
  void PutItem(unsigned char* item, std::uint32_t child, std::uint32_t recno,
               std::string_view key) const {
    Put32(item, child);
    Put32(item + 4, recno);
    std::memcpy(item + 8, key.data(), key_);
  }
  // Removes item `at` with its left child.
  void Erase(NtxPage& p, std::size_t at) const {
    const std::size_t n = Count(p);
    std::memmove(Item(p, at), Item(p, at + 1), (n - at) * item_);
    std::memset(Item(p, n), 0, item_);
    Put16(p.bytes.data(), n - 1);
  }
  // Removes the items from `at` on; the child after them stays, as `right`.
  void Cut(NtxPage& p, std::size_t at, std::uint32_t right) const {
    const std::size_t n = Count(p);
    std::memset(Item(p, at), 0, (n + 1 - at) * item_);
    Put32(Item(p, at), right);
    Put16(p.bytes.data(), at);
  }

  static std::uint32_t Get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }

 private:
  static void Put16(unsigned char* p, std::size_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
  }
  static void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
  }

  std::size_t key_ = 0, item_ = 8, max_ = 0, first_ = 2;
};

}  // namespace talvi::dbf
