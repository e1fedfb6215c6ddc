// SPDX-License-Identifier: MIT
// One 512-byte node of a CDX tree, as bytes and as entries. Leaves keep
// their keys compressed (bytes shared with the previous key and trailing
// filler left out, record numbers packed with the two counts into a few
// bytes); inner nodes keep each child's last key, its record number and
// the child's offset. See README.md ("CDX") for the bytes.
//
// Decoded, a node keeps its full keys back to back in one buffer (every
// key has the tree's key length), so that a search compares in place and
// an insertion shifts bytes instead of building entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/index_tree.h"
#include "dbf/page_cache.h"

namespace talvi::dbf {

inline constexpr std::uint32_t kCdxPageSize = 512;
inline constexpr std::uint32_t kCdxNone = 0xFFFFFFFF;  // no sibling
inline constexpr std::uint16_t kCdxRoot = 1;
inline constexpr std::uint16_t kCdxLeaf = 2;

struct CdxNode {
  std::uint32_t offset = 0;
  std::uint16_t attributes = kCdxRoot | kCdxLeaf;
  std::uint32_t left = kCdxNone;
  std::uint32_t right = kCdxNone;
  std::size_t keyLength = 0;
  std::string keys;                     // size() keys of keyLength bytes, in order
  std::vector<std::uint32_t> recnos;    // one per entry
  std::vector<std::uint32_t> children;  // inner nodes: one per entry

  bool leaf() const { return (attributes & kCdxLeaf) != 0; }
  std::size_t size() const { return recnos.size(); }
  bool empty() const { return recnos.empty(); }
  std::string_view key(std::size_t i) const { return {keys.data() + i * keyLength, keyLength}; }
  IndexEntry entry(std::size_t i) const { return {std::string(key(i)), recnos[i]}; }
  bool Is(std::size_t i, std::string_view k, std::uint32_t recno) const {
    return recnos[i] == recno && key(i) == k;
  }
  // `key` must have keyLength bytes; `child` is kept by inner nodes only.
  void Insert(std::size_t i, std::string_view key, std::uint32_t recno, std::uint32_t child = 0);
  void Append(std::string_view key, std::uint32_t recno, std::uint32_t child = 0) {
    Insert(size(), key, recno, child);
  }
  void Set(std::size_t i, std::string_view key, std::uint32_t recno);
  void Erase(std::size_t i);
  // Moves the first `count` entries to the end of `to`.
  void MoveFront(std::size_t count, CdxNode& to);
  // Keeps only the last entry.
  void KeepLast();
};

// Decoded nodes by offset.
using CdxCache = PageCache<CdxNode, kCdxPageSize>;

// How a tree's keys are kept: their length, and the byte that pads them
// (a space for character keys, whose trailing spaces leaves drop; zero for
// the binary number and date keys, kept whole).
struct CdxKeyForm {
  std::size_t keyLength = 10;
  char filler = ' ';
  bool trimTrailing = true;
  // Leaves written make room for record numbers up to this one (the
  // table's size) at least, whatever their own largest.
  std::uint32_t recnoFloor = 0;
};

// The bytes a leaf of `count` entries takes: `keyBytes` stored key bytes,
// entries packed for `maxRecno` (what EncodeCdxNode writes).
std::size_t CdxLeafBytes(std::size_t count, std::uint32_t maxRecno, std::size_t keyBytes,
                         const CdxKeyForm& form);
// The bytes of `key` a leaf stores after `previous` (empty: the first key).
std::size_t CdxStoredBytes(std::string_view previous, std::string_view key, const CdxKeyForm& form);
inline constexpr std::size_t kCdxLeafArea = 488;

// The most entries an inner node holds.
std::size_t CdxInnerCapacity(std::size_t keyLength);

// Whether entries [from, to) of `node` fit one node (what EncodeCdxNode
// would write of them).
bool CdxFits(const CdxNode& node, std::size_t from, std::size_t to, const CdxKeyForm& form);

// Decodes `page` (kCdxPageSize bytes). False with `why` when the node's
// counts, bit layout or key bytes do not add up.
bool DecodeCdxNode(const unsigned char* page, const CdxKeyForm& form, CdxNode& node,
                   std::string& why);

// Encodes `node` into `page`; false when its entries do not fit a node.
bool EncodeCdxNode(const CdxNode& node, const CdxKeyForm& form, unsigned char* page);

}  // namespace talvi::dbf
