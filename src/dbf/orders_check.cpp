// SPDX-License-Identifier: MIT
// Checking an order against the table: its entries in order, each one the
// key of its record, and every record that belongs to the order there.
#include <map>
#include <set>

#include "dbf/orders.h"

namespace talvi::dbf {
namespace {

constexpr std::size_t kMostListed = 20;

bool Before(const IndexEntry& a, const IndexEntry& b) {
  return a.key < b.key || (a.key == b.key && a.recno < b.recno);
}

}  // namespace

bool Orders::Check(int number, std::vector<std::string>& problems, std::vector<std::string>& notes,
                   std::uint32_t& keys) {
  keys = 0;
  Order* o = At(number);
  if (!o) return false;
  Table& t = *area_.table();
  const std::string who = "order " + o->name + " (" + o->bag_name + "): ";
  // The records that others appended count too.
  if (t.shared() && !t.RefreshHeader()) {
    problems.push_back(who + "the table's header cannot be read");
    return true;
  }
  std::size_t listed = 0, unlisted = 0;
  const auto problem = [&](const std::string& what) {
    if (listed++ < kMostListed) {
      problems.push_back(who + what);
    } else {
      ++unlisted;
    }
  };
  std::vector<IndexEntry> entries;
  if (!o->tree->Walk([&](const IndexEntry& e) {
        entries.push_back(e);
        return true;
      })) {
    problems.push_back(who + "cannot be read");
    return true;
  }
  keys = static_cast<std::uint32_t>(entries.size());
  std::map<std::uint32_t, std::string> wanted;  // the records that belong, with their keys
  std::string record, key;
  bool included = false;
  for (std::uint32_t r = 1; r <= t.RecordCount(); ++r) {
    if (!t.ReadRecord(r, record) || !KeyOf(*o, record, r, key, included)) {
      problem("record " + std::to_string(r) + " cannot be read or keyed");
      continue;
    }
    if (included) wanted[r] = key;
  }
  std::set<std::uint32_t> seen;
  std::set<std::string> present;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& e = entries[i];
    const std::string at = "record " + std::to_string(e.recno);
    if (i > 0 && !Before(entries[i - 1], e)) problem(at + " is out of order");
    if (o->unique && !present.insert(e.key).second) problem(at + " repeats a unique key");
    const auto w = wanted.find(e.recno);
    if (!seen.insert(e.recno).second) {
      problem(at + " has more than one key");
    } else if (w == wanted.end()) {
      problem(at + (e.recno == 0 || e.recno > t.RecordCount() ? " is beyond the table"
                                                              : " does not belong to the order"));
    } else if (w->second != e.key) {
      problem(at + " has another key than its record");
    }
  }
  std::size_t absent = 0;
  for (const auto& [r, k] : wanted) {
    if (seen.count(r)) continue;
    if (!o->unique) {
      problem("record " + std::to_string(r) + " has no key");
    } else if (!present.count(k)) {
      ++absent;
    }
  }
  // A unique order keeps the record that first had a key; a key whose
  // record left it is absent until the next reindex.
  if (absent) notes.push_back(who + std::to_string(absent) + " keys absent until a reindex");
  if (unlisted) problems.push_back(who + "and " + std::to_string(unlisted) + " more problems");
  return true;
}

}  // namespace talvi::dbf
