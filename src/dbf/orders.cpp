// SPDX-License-Identifier: MIT
// Orders of a work area: index files opened and created, the current
// order, key evaluation, and keeping every order right as the table
// changes. Navigation is in orders_nav.cpp.
#include "dbf/orders.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <set>

#include "dbf/codes.h"
#include "dbf/names.h"
#include "dbf/orders_bag.h"
#include "dbf/raise.h"
#include "dbf/settings.h"

namespace talvi::dbf {

std::string UpperText(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string BaseNameOf(const std::string& path) {
  return std::filesystem::path(path).stem().string();
}

std::string WithoutAliases(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  char quote = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (quote) {
      out += c;
      if (c == quote) quote = 0;
      ++i;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      out += c;
      ++i;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t j = i;
      while (j < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_')) {
        ++j;
      }
      const std::string word = text.substr(i, j - i);
      if (text.compare(j, 2, "->") == 0 && UpperText(word) != "FIELD") {
        i = j + 2;
        continue;
      }
      out += word;
      i = j;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

Orders::Orders(WorkArea& area) : area_(area) {
  area_.AddObserver(this);
}

Orders::~Orders() {
  area_.RemoveObserver(this);
}

Order* Orders::At(int number) {
  if (number < 1 || number > count()) return nullptr;
  return orders_[static_cast<std::size_t>(number - 1)];
}

int Orders::Number(std::string_view name) const {
  const std::string want = UpperText(name);
  for (std::size_t i = 0; i < orders_.size(); ++i) {
    if (orders_[i]->name == want) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool Orders::SetCurrent(int number) {
  // An order another process added may be the one meant.
  if (number > count()) Refresh(true);
  if (number < 0 || number > count()) {
    return Fail(Failure(kGenBound, kSubArea)
                    .Op("ordsetfocus")
                    .Desc("Order " + std::to_string(number) + " does not exist"));
  }
  if (number != current_) ClearScopes();
  current_ = number;
  return true;
}

bool Orders::SetCurrent(std::string_view name) {
  int n = Number(name);
  if (n == 0 && Refresh(true)) n = Number(name);
  if (n == 0) {
    return Fail(Failure(kGenArg, kSubArea)
                    .Op("ordsetfocus")
                    .Desc("Order " + std::string(name) + " does not exist"));
  }
  return SetCurrent(n);
}

bool Orders::KeyOf(Order& order, const std::string& record, std::uint32_t recno, std::string& key,
                   bool& included) {
  included = true;
  if (order.condition) {
    const Value c = area_.EvaluateOn(*order.condition, record, recno);
    included = c.IsLogical() && c.logical();
  }
  const Value v = order.key_field >= 0 ? area_.table()->GetValue(record, order.key_field)
                                       : area_.EvaluateOn(*order.key, record, recno);
  if (!EncodeKey(v, order.shape, order.format, key)) {
    included = false;
    return Fail(Failure(kGenDataType, kSubField)
                    .File(order.bag_name)
                    .Op("index key")
                    .Desc("Key " + order.key_text + " is not of the order's type"));
  }
  return true;
}

bool Orders::TakeRecord(std::uint32_t recno, std::string& record) {
  if (recno == 0 || recno != read_recno_) return false;
  record.swap(read_record_);
  read_recno_ = 0;
  return true;
}

bool Orders::ShapeFor(Order& order) {
  const Value v = area_.EvaluateOn(*order.key, area_.table()->BlankRecord(), 0);
  if (!ShapeOf(v, order.format, order.shape)) {
    return Fail(Failure(kGenDataType, kSubExpr)
                    .Op("index key")
                    .Desc("Key " + order.key_text + " cannot be an index key"));
  }
  return true;
}

bool Orders::Keys(Order& order, const Order* over, std::vector<IndexEntry>& entries) {
  entries.clear();
  std::string record, key;
  bool included = false;
  if (over) {
    // In the current order's sequence: a unique order keeps the first
    // record of a key that it meets.
    std::set<std::string> met;
    std::uint32_t recno = 0;
    if (!First(true, recno)) return false;
    while (recno != 0) {
      if (!area_.table()->ReadRecord(recno, record)) return false;
      if (!KeyOf(order, record, recno, key, included)) return false;
      if (included && (!order.unique || met.insert(key).second)) entries.push_back({key, recno});
      if (!Step(recno, record, true, recno)) return false;
    }
    return true;
  }
  // The records are read many at a time.
  Table& t = *area_.table();
  const std::uint32_t n = t.RecordCount();
  const std::size_t length = t.header().record_length;
  const auto run = static_cast<std::uint32_t>(std::max<std::size_t>(1, (256 << 10) / length));
  entries.reserve(n);
  std::string records;
  for (std::uint32_t first = 1; first <= n; first += run) {
    const std::uint32_t count = std::min(run, n - first + 1);
    if (!t.ReadRecords(first, count, records)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      record.assign(records, i * length, length);
      if (!KeyOf(order, record, first + i, key, included)) return false;
      if (included) entries.push_back({key, first + i});
    }
  }
  return true;
}

// A whole tag or file is written from its sorted keys, node after node,
// in place of the tree it had.
bool Orders::Build(Order& order, const Order* over) {
  std::vector<IndexEntry> entries;
  if (!Keys(order, over, entries)) return false;
  auto* tag = dynamic_cast<CdxTag*>(order.tree);
  auto* ntx = dynamic_cast<NtxFile*>(order.tree);
  if (tag ? !tag->Load(std::move(entries)) : !ntx || !ntx->Load(std::move(entries))) return false;
  return order.tree->Flush();
}

bool Orders::Reindex() {
  // A pending record (an append not yet told) reaches the file first, so
  // that it is not built in here and then added again.
  if (area_.used() && !area_.Commit()) return false;
  BuildLock lock(area_, area_.used() && !orders_.empty(), "reindex");
  if (!lock.ok() || !Refresh(true)) return false;
  for (Order* o : orders_) {
    if (!Build(*o, nullptr)) return false;
  }
  return true;
}

// Each file's orders under its index lock: a tag that another process
// added is found (the directory is read again under the lock when the
// file changed) and kept before the lock goes, and one it removed is
// left alone.
template <typename Each>
void Orders::Maintain(Each each) {
  FollowStructural();
  for (auto& bag : bags_) {
    std::optional<CdxFile::Hold> hold;
    if (bag->cdx) {
      hold.emplace(*bag->cdx, true);
      if (!hold->ok()) continue;  // raised; the orders of that file miss the change
      if (bag->tags_seen != bag->cdx->tags_version()) Sync(*bag, false);
    }
    for (auto& o : bag->orders) each(o.get());
  }
}

void Orders::OnAppend(WorkArea&, std::uint32_t recno, const std::string& record) {
  std::string key;
  bool included = false;
  Maintain([&](Order* o) {
    if (auto* tag = dynamic_cast<CdxTag*>(o->tree)) tag->SizeRecnos(recno);
    if (KeyOf(*o, record, recno, key, included) && included) o->tree->Insert({key, recno});
  });
}

void Orders::OnChange(WorkArea&, std::uint32_t recno, const std::string& before,
                      const std::string& after) {
  std::string old_key, new_key;
  bool was = false, is = false;
  Maintain([&](Order* o) {
    if (!KeyOf(*o, before, recno, old_key, was) || !KeyOf(*o, after, recno, new_key, is)) {
      return;
    }
    if (was == is && old_key == new_key) return;
    if (was && !o->tree->Remove({old_key, recno})) return;
    if (is) o->tree->Insert({new_key, recno});
  });
}

bool Orders::OnCommit(WorkArea&) {
  bool ok = true;
  for (auto& bag : bags_) {
    if (bag->cdx) ok = bag->cdx->WritePending() && ok;
    if (bag->ntx) ok = bag->ntx->WritePending() && ok;
  }
  return ok;
}

void Orders::OnZap(WorkArea&) {
  for (Order* o : orders_) o->tree->Clear();
}

void Orders::OnPack(WorkArea&) {
  Reindex();
}

}  // namespace talvi::dbf
