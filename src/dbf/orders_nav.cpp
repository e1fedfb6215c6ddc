// SPDX-License-Identifier: MIT
// Navigation through the current order: top, bottom, skip, seek and the
// key count, within the scopes and past deleted records while the setting
// hides them. The tree is kept ascending; a descending order walks it the
// other way, and its top scope is the high end of the keys.
#include "dbf/codes.h"
#include "dbf/orders.h"
#include "dbf/raise.h"
#include "dbf/settings.h"

namespace talvi::dbf {
namespace {

bool StartsWith(const std::string& key, const std::string& prefix) {
  return key.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void Orders::ClearScopes() {
  scope_top_.reset();
  scope_bottom_.reset();
}

bool Orders::SetScope(bool top, const std::optional<Value>& value) {
  auto& slot = top ? scope_top_ : scope_bottom_;
  if (!value || value->IsNil()) {
    slot.reset();
    return true;
  }
  Order* o = Current();
  if (!o) return true;
  std::string key;
  if (!EncodeSeek(*value, o->shape, o->format, key)) {
    return Fail(Failure(kGenDataType, kSubArea).Op("ordscope").Desc("Scope of the wrong type"));
  }
  slot = key;
  return true;
}

bool Orders::InScope(const IndexEntry& e) const {
  const Order* o = orders_[static_cast<std::size_t>(current_ - 1)];
  const auto& lo = o->descending ? scope_bottom_ : scope_top_;
  const auto& hi = o->descending ? scope_top_ : scope_bottom_;
  const std::size_t ks = o->shape.size;
  if (lo && CompareToProbe(e.key, e.recno, KeyProbe{*lo, 0}, ks) < 0) return false;
  if (hi && CompareToProbe(e.key, e.recno, KeyProbe{*hi, 0}, ks) > 0) return false;
  return true;
}

bool Orders::Visible(const IndexEntry& e) {
  Table& t = *area_.table();
  if (e.recno == 0) return false;
  if (e.recno > t.RecordCount() &&
      (!t.shared() || !t.RefreshHeader() || e.recno > t.RecordCount())) {
    return false;
  }
  if (!Engine().deleted) return true;
  read_recno_ = 0;
  if (!t.ReadRecord(e.recno, read_record_)) return false;
  read_recno_ = e.recno;  // for the area, which would read it next
  return read_record_[0] != '*';
}

// The entry after `e` in ascending (`up`) or descending key order.
bool Orders::Next(const IndexEntry& e, bool up, std::optional<IndexEntry>& found) {
  IndexTree& t = *Current()->tree;
  const KeyProbe p{e.key, e.recno};
  return up ? t.SeekForward(p, true, found) : t.SeekBackward(p, true, found);
}

// From `e` on, in key direction `up`, the first visible entry within the
// scopes (entering them when `e` lies before them); none past them.
bool Orders::Settle(std::optional<IndexEntry>& e, bool up) {
  const Order* o = Current();
  const auto& lo = o->descending ? scope_bottom_ : scope_top_;
  const auto& hi = o->descending ? scope_top_ : scope_bottom_;
  const std::size_t ks = o->shape.size;
  bool entered = false;
  while (e) {
    if (lo && CompareToProbe(e->key, e->recno, KeyProbe{*lo, 0}, ks) < 0) {
      if (!up || entered) {
        e.reset();
        return true;
      }
      entered = true;
      if (!o->tree->SeekForward(KeyProbe{*lo, 0}, false, e)) return false;
      continue;
    }
    if (hi && CompareToProbe(e->key, e->recno, KeyProbe{*hi, 0}, ks) > 0) {
      if (up || entered) {
        e.reset();
        return true;
      }
      entered = true;
      if (!o->tree->SeekBackward(KeyProbe{*hi, 0}, false, e)) return false;
      continue;
    }
    if (Visible(*e)) return true;
    std::optional<IndexEntry> n;
    if (!Next(*e, up, n)) return false;
    e = std::move(n);
  }
  return true;
}

bool Orders::FirstEntry(bool top, std::optional<IndexEntry>& e) {
  const Order* o = Current();
  const bool up = top != o->descending;
  const KeyProbe any{std::string_view(), 0};
  const bool ok = up ? o->tree->SeekForward(any, false, e) : o->tree->SeekBackward(any, false, e);
  return ok && Settle(e, up);
}

bool Orders::First(bool top, std::uint32_t& recno) {
  recno = 0;
  read_recno_ = 0;
  if (!Current()) return true;
  std::optional<IndexEntry> e;
  if (!FirstEntry(top, e)) return false;
  recno = e ? e->recno : 0;
  return true;
}

bool Orders::Step(std::uint32_t from, const std::string& from_record, bool forward,
                  std::uint32_t& recno) {
  recno = 0;
  read_recno_ = 0;
  Order* o = Current();
  if (!o) return true;
  IndexEntry here;
  bool included = false;
  if (!KeyOf(*o, from_record, from, here.key, included)) return false;
  here.recno = from;
  const bool up = forward != o->descending;
  std::optional<IndexEntry> e;
  if (!Next(here, up, e) || !Settle(e, up)) return false;
  recno = e ? e->recno : 0;
  return true;
}

bool Orders::Seek(const Value& value, bool soft, bool last, std::uint32_t& recno, bool& found) {
  recno = 0;
  found = false;
  read_recno_ = 0;
  Order* o = Current();
  if (!o) return true;
  std::string key;
  if (!EncodeSeek(value, o->shape, o->format, key)) {
    return Fail(Failure(kGenDataType, kSubArea).Op("dbseek").Desc("Seek value of the wrong type"));
  }
  const bool up = !o->descending;
  const KeyProbe probe{key, 0};
  std::optional<IndexEntry> e;
  if (last) {
    // The last match: from the far end of the matches, back.
    if (!(up ? o->tree->SeekBackward(probe, false, e) : o->tree->SeekForward(probe, false, e)) ||
        !Settle(e, !up)) {
      return false;
    }
    if (e && StartsWith(e->key, key)) {
      recno = e->recno;
      found = true;
      return true;
    }
  }
  if (!(up ? o->tree->SeekForward(probe, false, e) : o->tree->SeekBackward(probe, false, e)) ||
      !Settle(e, up)) {
    return false;
  }
  found = e && StartsWith(e->key, key);
  recno = e && (found || soft) ? e->recno : 0;
  return true;
}

bool Orders::KeyCount(std::uint32_t& count) {
  count = 0;
  Order* o = Current();
  if (!o) return true;
  const bool up = !o->descending;
  std::optional<IndexEntry> e;
  if (!FirstEntry(true, e)) return false;
  while (e) {
    ++count;
    std::optional<IndexEntry> n;
    if (!Next(*e, up, n) || !Settle(n, up)) return false;
    e = std::move(n);
  }
  return true;
}

}  // namespace talvi::dbf
