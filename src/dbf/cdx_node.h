// SPDX-License-Identifier: MIT
// One 512-byte node of a CDX tree, as bytes and as entries. Leaves keep
// their keys compressed (bytes shared with the previous key and trailing
// filler left out, record numbers packed with the two counts into a few
// bytes); inner nodes keep each child's last key, its record number and
// the child's offset. See README.md ("CDX") for the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbf/index_tree.h"

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
  std::vector<IndexEntry> entries;      // full keys, in order
  std::vector<std::uint32_t> children;  // inner nodes: one per entry
  bool leaf() const { return (attributes & kCdxLeaf) != 0; }
};

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
// The bytes of `key` a leaf stores after `previous` (null: the first key).
std::size_t CdxStoredBytes(const std::string* previous, const std::string& key,
                           const CdxKeyForm& form);
inline constexpr std::size_t kCdxLeafArea = 488;

// The most entries an inner node holds.
std::size_t CdxInnerCapacity(std::size_t keyLength);

// Decodes `page` (kCdxPageSize bytes). False with `why` when the node's
// counts, bit layout or key bytes do not add up.
bool DecodeCdxNode(const unsigned char* page, const CdxKeyForm& form, CdxNode& node,
                   std::string& why);

// Encodes `node` into `page`; false when its entries do not fit a node.
bool EncodeCdxNode(const CdxNode& node, const CdxKeyForm& form, unsigned char* page);

}  // namespace talvi::dbf
