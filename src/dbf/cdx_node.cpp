// SPDX-License-Identifier: MIT
#include "dbf/cdx_node.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace talvi::dbf {
namespace {

constexpr std::size_t kNodeHead = 12;  // attributes, count, left, right
constexpr std::size_t kLeafHead = 24;  // and the leaf's free count and bit layout
constexpr std::size_t kLeafArea = kCdxPageSize - kLeafHead;

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t Be32(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void PutLe(unsigned char* p, std::uint64_t v, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
void PutBe32(unsigned char* p, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) {
    p[i] = static_cast<unsigned char>((v >> (8 * (3 - i))) & 0xFF);
  }
}

// Bits needed to hold `v` (at least 1).
unsigned BitsFor(std::uint64_t v) {
  unsigned n = 1;
  while (n < 64 && (v >> n) != 0) ++n;
  return n;
}

bool DecodeLeaf(const unsigned char* page, const CdxKeyForm& form, std::size_t count, CdxNode& node,
                std::string& why) {
  const std::uint32_t recMask = Le32(page + 14);
  const unsigned dupMask = page[18], trailMask = page[19];
  const unsigned recBits = page[20], dupBits = page[21], trailBits = page[22];
  const std::size_t width = page[23];
  if (width < 1 || width > 8 || recBits > 32 || recBits + dupBits + trailBits > 8 * width ||
      dupBits > 8 || trailBits > 8) {
    why = "index leaf bit layout";
    return false;
  }
  if (count * width > kLeafArea) {
    why = "index leaf key count";
    return false;
  }
  const std::size_t keyLength = form.keyLength;
  std::size_t end = kCdxPageSize;  // key bytes run from the back
  const std::size_t floor = kLeafHead + count * width;
  // Room for a few more entries: the first insertions do not move them.
  node.keys.reserve((count + 8) * keyLength);
  node.recnos.reserve(count + 8);
  node.keys.resize(count * keyLength);
  node.recnos.resize(count);
  char* key = node.keys.data();
  for (std::size_t i = 0; i < count; ++i, key += keyLength) {
    std::uint64_t v = 0;
    const unsigned char* p = page + kLeafHead + i * width;
    for (std::size_t b = width; b > 0; --b) v = (v << 8) | p[b - 1];
    node.recnos[i] = static_cast<std::uint32_t>(v & recMask);
    const std::size_t dup = static_cast<std::size_t>((v >> recBits) & dupMask);
    const std::size_t trail = static_cast<std::size_t>((v >> (recBits + dupBits)) & trailMask);
    if (dup + trail > keyLength || (i == 0 && dup != 0)) {
      why = "index leaf key counts";
      return false;
    }
    const std::size_t stored = keyLength - dup - trail;
    if (stored > end - floor) {
      why = "index leaf key bytes";
      return false;
    }
    end -= stored;
    // The shared bytes are the previous key's, just before this one.
    if (dup > 0) std::memcpy(key, key - keyLength, dup);
    std::memcpy(key + dup, page + end, stored);
    std::memset(key + dup + stored, form.filler, trail);
  }
  return true;
}

std::uint64_t Load64(const char* p) {
  std::uint64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The trailing filler a leaf drops from `key`, eight bytes at a time.
std::size_t Trailing(std::string_view key, const CdxKeyForm& form) {
  if (!form.trimTrailing) return 0;
  const std::uint64_t fill = 0x0101010101010101ull * static_cast<unsigned char>(form.filler);
  std::size_t trail = 0;
  while (trail + 8 <= key.size() && Load64(key.data() + key.size() - trail - 8) == fill) trail += 8;
  while (trail < key.size() && key[key.size() - 1 - trail] == form.filler) ++trail;
  return trail;
}

// The leading bytes `key` shares with `previous` (empty: none), up to
// `limit`; on little-endian machines eight bytes at a time, the first
// differing byte being the lowest set byte of their difference.
std::size_t Shared(std::string_view previous, std::string_view key, std::size_t limit) {
  if (previous.empty()) return 0;
  std::size_t dup = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; dup + 8 <= limit; dup += 8) {
      const std::uint64_t diff = Load64(previous.data() + dup) ^ Load64(key.data() + dup);
      if (diff != 0) return dup + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
    }
  }
  while (dup < limit && previous[dup] == key[dup]) ++dup;
  return dup;
}

// Bytes per packed entry of a leaf whose largest record number is `maxRecno`.
std::size_t LeafWidth(std::uint32_t maxRecno, const CdxKeyForm& form) {
  return (BitsFor(std::max(maxRecno, form.recnoFloor)) + 2 * BitsFor(form.keyLength) + 7) / 8;
}

bool EncodeLeaf(const CdxNode& node, const CdxKeyForm& form, unsigned char* page) {
  const std::size_t keyLength = form.keyLength;
  const unsigned countBits = BitsFor(keyLength);
  std::uint32_t maxRecno = 0;
  for (const std::uint32_t r : node.recnos) maxRecno = std::max(maxRecno, r);
  const std::size_t width = LeafWidth(maxRecno, form);
  const unsigned recBits = std::min<unsigned>(32, static_cast<unsigned>(8 * width) - 2 * countBits);
  std::size_t end = kCdxPageSize;
  const std::size_t floor = kLeafHead + node.size() * width;
  if (floor > kCdxPageSize) return false;
  std::string_view previous;
  for (std::size_t i = 0; i < node.size(); ++i) {
    const std::string_view key = node.key(i);
    const std::size_t trail = Trailing(key, form);
    const std::size_t dup = Shared(previous, key, keyLength - trail);
    const std::size_t stored = keyLength - dup - trail;
    if (stored > end - floor) return false;
    end -= stored;
    std::memcpy(page + end, key.data() + dup, stored);
    const std::uint64_t v = node.recnos[i] | (std::uint64_t{dup} << recBits) |
                            (std::uint64_t{trail} << (recBits + countBits));
    PutLe(page + kLeafHead + i * width, v, width);
    previous = key;
  }
  PutLe(page + 12, end - floor, 2);
  PutLe(page + 14, recBits == 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << recBits) - 1, 4);
  page[18] = static_cast<unsigned char>((1u << countBits) - 1);
  page[19] = page[18];
  page[20] = static_cast<unsigned char>(recBits);
  page[21] = static_cast<unsigned char>(countBits);
  page[22] = static_cast<unsigned char>(countBits);
  page[23] = static_cast<unsigned char>(width);
  return true;
}

}  // namespace

void CdxNode::Insert(std::size_t i, std::string_view key, std::uint32_t recno,
                     std::uint32_t child) {
  keys.insert(i * keyLength, key.data(), keyLength);
  recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(i), recno);
  if (!leaf()) children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), child);
}

void CdxNode::Set(std::size_t i, std::string_view key, std::uint32_t recno) {
  keys.replace(i * keyLength, keyLength, key.data(), keyLength);
  recnos[i] = recno;
}

void CdxNode::Erase(std::size_t i) {
  keys.erase(i * keyLength, keyLength);
  recnos.erase(recnos.begin() + static_cast<std::ptrdiff_t>(i));
  if (!leaf()) children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
}

void CdxNode::MoveFront(std::size_t count, CdxNode& to) {
  const auto n = static_cast<std::ptrdiff_t>(count);
  to.keyLength = keyLength;
  to.keys.append(keys, 0, count * keyLength);
  keys.erase(0, count * keyLength);
  to.recnos.insert(to.recnos.end(), recnos.begin(), recnos.begin() + n);
  recnos.erase(recnos.begin(), recnos.begin() + n);
  if (!leaf()) {
    to.children.insert(to.children.end(), children.begin(), children.begin() + n);
    children.erase(children.begin(), children.begin() + n);
  }
}

void CdxNode::KeepLast() {
  if (size() <= 1) return;
  keys.erase(0, keys.size() - keyLength);
  recnos.erase(recnos.begin(), recnos.end() - 1);
  if (!children.empty()) children.erase(children.begin(), children.end() - 1);
}

std::size_t CdxLeafBytes(std::size_t count, std::uint32_t maxRecno, std::size_t keyBytes,
                         const CdxKeyForm& form) {
  return count * LeafWidth(maxRecno, form) + keyBytes;
}

std::size_t CdxStoredBytes(std::string_view previous, std::string_view key,
                           const CdxKeyForm& form) {
  const std::size_t trail = Trailing(key, form);
  return form.keyLength - Shared(previous, key, form.keyLength - trail) - trail;
}

std::size_t CdxInnerCapacity(std::size_t keyLength) {
  return (kCdxPageSize - kNodeHead) / (keyLength + 8);
}

bool CdxFits(const CdxNode& node, std::size_t from, std::size_t to, const CdxKeyForm& form) {
  if (!node.leaf()) return to - from <= CdxInnerCapacity(form.keyLength);
  std::uint32_t maxRecno = 0;
  std::size_t keyBytes = 0;
  for (std::size_t i = from; i < to; ++i) {
    maxRecno = std::max(maxRecno, node.recnos[i]);
    keyBytes += CdxStoredBytes(i == from ? std::string_view() : node.key(i - 1), node.key(i), form);
  }
  return CdxLeafBytes(to - from, maxRecno, keyBytes, form) <= kLeafArea;
}

bool DecodeCdxNode(const unsigned char* page, const CdxKeyForm& form, CdxNode& node,
                   std::string& why) {
  node.attributes = Le16(page);
  const std::size_t count = Le16(page + 2);
  node.left = Le32(page + 4);
  node.right = Le32(page + 8);
  node.keyLength = form.keyLength;
  node.keys.clear();
  node.recnos.clear();
  node.children.clear();
  if (node.leaf()) return DecodeLeaf(page, form, count, node, why);
  if (count == 0 || count > CdxInnerCapacity(form.keyLength)) {
    why = "index inner node key count";
    return false;
  }
  const std::size_t item = form.keyLength + 8;
  node.keys.reserve(count * form.keyLength);
  node.recnos.reserve(count);
  node.children.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* p = page + kNodeHead + i * item;
    node.keys.append(reinterpret_cast<const char*>(p), form.keyLength);
    node.recnos.push_back(Be32(p + form.keyLength));
    node.children.push_back(Be32(p + form.keyLength + 4));
  }
  return true;
}

bool EncodeCdxNode(const CdxNode& node, const CdxKeyForm& form, unsigned char* page) {
  std::memset(page, 0, kCdxPageSize);
  PutLe(page, node.attributes, 2);
  PutLe(page + 2, node.size(), 2);
  PutLe(page + 4, node.left, 4);
  PutLe(page + 8, node.right, 4);
  if (!node.empty() &&
      (node.keyLength != form.keyLength || node.keys.size() != node.size() * node.keyLength)) {
    return false;
  }
  if (node.leaf()) return EncodeLeaf(node, form, page);
  if (node.size() > CdxInnerCapacity(form.keyLength) || node.children.size() != node.size()) {
    return false;
  }
  const std::size_t item = form.keyLength + 8;
  for (std::size_t i = 0; i < node.size(); ++i) {
    unsigned char* p = page + kNodeHead + i * item;
    std::memcpy(p, node.key(i).data(), form.keyLength);
    PutBe32(p + form.keyLength, node.recnos[i]);
    PutBe32(p + form.keyLength + 4, node.children[i]);
  }
  return true;
}

}  // namespace talvi::dbf
