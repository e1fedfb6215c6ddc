// SPDX-License-Identifier: MIT
// What every index file format gives the orders built on it: a sorted set
// of (key, record number) entries, ordered by the key bytes and then by the
// record number, searched from the root on every call (so that a cursor is
// only the entry it stands on, and stays valid while others change the file).
//
// Every failure (a page that cannot be read, a corrupt or cyclic page) is
// an error object handed to the process error handler, 32/1012 for
// corruption; the calls then report false and leave `found` unset.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talvi::dbf {

struct IndexEntry {
  std::string key;
  std::uint32_t recno = 0;
  bool operator==(const IndexEntry&) const = default;
};

// What a search compares against. Only the first key.size() bytes of an
// entry's key take part (a shorter key is a prefix); the record number
// takes part only when the key is full length and recno is not 0.
struct KeyProbe {
  std::string_view key;
  std::uint32_t recno = 0;
};

// <0, 0, >0 as `entry` sorts before, with or after `probe`. Inline: every
// step of every search makes it.
inline int CompareToProbe(std::string_view entry_key, std::uint32_t entry_recno,
                          const KeyProbe& probe, std::size_t key_size) {
  const std::size_t n = std::min(probe.key.size(), entry_key.size());
  const int c = n == 0 ? 0 : std::memcmp(entry_key.data(), probe.key.data(), n);
  if (c != 0) return c;
  if (entry_key.size() < probe.key.size()) return -1;
  if (probe.key.size() < key_size || probe.recno == 0) return 0;
  return entry_recno < probe.recno ? -1 : entry_recno > probe.recno ? 1 : 0;
}

class IndexTree {
 public:
  virtual ~IndexTree() = default;

  virtual std::size_t key_size() const = 0;
  virtual bool unique() const = 0;

  // Adds an entry; with the unique flag an entry whose key is already in
  // the tree is left out (true, `added` false).
  virtual bool Insert(const IndexEntry& entry, bool* added = nullptr) = 0;
  // Removes exactly this entry; `removed` tells whether it was there.
  virtual bool Remove(const IndexEntry& entry, bool* removed = nullptr) = 0;
  // The first entry that sorts after the probe (`strict`) or not before it.
  virtual bool SeekForward(const KeyProbe& probe, bool strict,
                           std::optional<IndexEntry>& found) = 0;
  // The last entry that sorts before the probe (`strict`) or not after it.
  virtual bool SeekBackward(const KeyProbe& probe, bool strict,
                            std::optional<IndexEntry>& found) = 0;
  // Every entry in order; `visit` returns false to stop. Every page is
  // visited at most once (a page reached twice is corruption).
  virtual bool Walk(const std::function<bool(const IndexEntry&)>& visit) = 0;
  // Empties the tree (the file keeps its header).
  virtual bool Clear() = 0;
  // Writes what is pending (header counter) to the file.
  virtual bool Flush() = 0;
};

}  // namespace talvi::dbf
