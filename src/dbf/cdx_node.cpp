// SPDX-License-Identifier: MIT
#include "dbf/cdx_node.h"

#include <algorithm>
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
  std::string previous;
  node.entries.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t v = 0;
    const unsigned char* p = page + kLeafHead + i * width;
    for (std::size_t b = width; b > 0; --b) v = (v << 8) | p[b - 1];
    const auto recno = static_cast<std::uint32_t>(v & recMask);
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
    std::string key = previous.substr(0, dup);
    key.append(reinterpret_cast<const char*>(page + end), stored);
    key.append(trail, form.filler);
    node.entries.push_back({key, recno});
    previous = std::move(key);
  }
  return true;
}

bool EncodeLeaf(const CdxNode& node, const CdxKeyForm& form, unsigned char* page) {
  const std::size_t keyLength = form.keyLength;
  const unsigned countBits = BitsFor(keyLength);
  std::uint32_t maxRecno = form.recnoFloor;
  for (const auto& e : node.entries) maxRecno = std::max(maxRecno, e.recno);
  const unsigned recNeed = BitsFor(maxRecno);
  const std::size_t width = (recNeed + 2 * countBits + 7) / 8;
  const unsigned recBits = std::min<unsigned>(32, static_cast<unsigned>(8 * width) - 2 * countBits);
  std::size_t end = kCdxPageSize;
  const std::size_t floor = kLeafHead + node.entries.size() * width;
  if (floor > kCdxPageSize) return false;
  const std::string* previous = nullptr;
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    const std::string& key = node.entries[i].key;
    if (key.size() != keyLength) return false;
    std::size_t trail = 0;
    if (form.trimTrailing) {
      while (trail < keyLength && key[keyLength - 1 - trail] == form.filler) ++trail;
    }
    std::size_t dup = 0;
    if (previous) {
      while (dup < keyLength - trail && (*previous)[dup] == key[dup]) ++dup;
    }
    const std::size_t stored = keyLength - dup - trail;
    if (stored > end - floor) return false;
    end -= stored;
    std::memcpy(page + end, key.data() + dup, stored);
    const std::uint64_t v = node.entries[i].recno | (std::uint64_t{dup} << recBits) |
                            (std::uint64_t{trail} << (recBits + countBits));
    PutLe(page + kLeafHead + i * width, v, width);
    previous = &key;
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

std::size_t CdxLeafBytes(std::size_t count, std::uint32_t maxRecno, std::size_t keyBytes,
                         const CdxKeyForm& form) {
  const unsigned countBits = BitsFor(form.keyLength);
  const std::size_t width = (BitsFor(std::max(maxRecno, form.recnoFloor)) + 2 * countBits + 7) / 8;
  return count * width + keyBytes;
}

std::size_t CdxStoredBytes(const std::string* previous, const std::string& key,
                           const CdxKeyForm& form) {
  const std::size_t keyLength = form.keyLength;
  std::size_t trail = 0;
  if (form.trimTrailing) {
    while (trail < keyLength && key[keyLength - 1 - trail] == form.filler) ++trail;
  }
  std::size_t dup = 0;
  if (previous) {
    while (dup < keyLength - trail && (*previous)[dup] == key[dup]) ++dup;
  }
  return keyLength - dup - trail;
}

std::size_t CdxInnerCapacity(std::size_t keyLength) {
  return (kCdxPageSize - kNodeHead) / (keyLength + 8);
}

bool DecodeCdxNode(const unsigned char* page, const CdxKeyForm& form, CdxNode& node,
                   std::string& why) {
  node.attributes = Le16(page);
  const std::size_t count = Le16(page + 2);
  node.left = Le32(page + 4);
  node.right = Le32(page + 8);
  node.entries.clear();
  node.children.clear();
  if (node.leaf()) return DecodeLeaf(page, form, count, node, why);
  if (count == 0 || count > CdxInnerCapacity(form.keyLength)) {
    why = "index inner node key count";
    return false;
  }
  const std::size_t item = form.keyLength + 8;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* p = page + kNodeHead + i * item;
    node.entries.push_back(
        {std::string(reinterpret_cast<const char*>(p), form.keyLength), Be32(p + form.keyLength)});
    node.children.push_back(Be32(p + form.keyLength + 4));
  }
  return true;
}

bool EncodeCdxNode(const CdxNode& node, const CdxKeyForm& form, unsigned char* page) {
  std::memset(page, 0, kCdxPageSize);
  PutLe(page, node.attributes, 2);
  PutLe(page + 2, node.entries.size(), 2);
  PutLe(page + 4, node.left, 4);
  PutLe(page + 8, node.right, 4);
  if (node.leaf()) return EncodeLeaf(node, form, page);
  if (node.entries.size() > CdxInnerCapacity(form.keyLength) ||
      node.children.size() != node.entries.size()) {
    return false;
  }
  const std::size_t item = form.keyLength + 8;
  for (std::size_t i = 0; i < node.entries.size(); ++i) {
    unsigned char* p = page + kNodeHead + i * item;
    const std::string& key = node.entries[i].key;
    if (key.size() != form.keyLength) return false;
    std::memcpy(p, key.data(), key.size());
    PutBe32(p + form.keyLength, node.entries[i].recno);
    PutBe32(p + form.keyLength + 4, node.children[i]);
  }
  return true;
}

}  // namespace talvi::dbf
