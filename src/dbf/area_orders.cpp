// SPDX-License-Identifier: MIT
// A work area's navigation through its current order, seeks, and key
// evaluation on a record other than the one in the buffer.
#include <utility>

#include "dbf/area.h"
#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/expr.h"
#include "dbf/orders.h"
#include "dbf/raise.h"

namespace talvi::dbf {

bool WorkArea::Ordered() {
  return orders_ && orders_->Current() != nullptr;
}

bool WorkArea::FollowOrders() {
  return orders_->Refresh();
}

bool WorkArea::OrderFailed() {
  // A failure may be the current order gone (raised by the call on it):
  // record order from now on.
  orders_->Refresh();
  return false;
}

bool WorkArea::LoadFound(std::uint32_t recno) {
  if (recno == 0 || recno > table_->RecordCount() || !orders_->TakeRecord(recno, record_)) {
    return Load(recno);
  }
  before_ = record_;
  recno_ = recno;
  dirty_ = unread_ = eof_ = false;
  return true;
}

bool WorkArea::OrderedEnd(bool top) {
  std::uint32_t recno = 0;
  if (!orders_->First(top, recno)) return OrderFailed();
  if (recno == 0) {
    Load(0);
    bof_ = true;
    return true;
  }
  bof_ = false;
  return LoadFound(recno);
}

bool WorkArea::OrderedSkip(std::int64_t n) {
  for (; n > 0; --n) {
    bof_ = false;
    if (eof_) return true;
    std::uint32_t next = 0;
    if (!orders_->Step(recno_, record_, true, next)) return OrderFailed();
    if (!LoadFound(next)) return false;
    if (next == 0) return true;
  }
  for (; n < 0; ++n) {
    if (eof_) {
      if (!OrderedEnd(false)) return false;
      if (eof_) {
        bof_ = true;
        return true;
      }
      continue;
    }
    std::uint32_t prev = 0;
    if (!orders_->Step(recno_, record_, false, prev)) return OrderFailed();
    if (prev == 0) {
      // Before the first key: stay on it, BOF set.
      if (!Load(recno_)) return false;
      bof_ = true;
      return true;
    }
    if (!LoadFound(prev)) return false;
  }
  return true;
}

bool WorkArea::Seek(const Value& key, bool soft, bool last) {
  found_ = false;
  if (NoTable("dbseek") || !Flush() || !FollowOrders()) return false;
  if (!Ordered()) {
    Load(0);
    return Fail(Failure(kGenUnsupported, kSubArea).Op("dbseek").Desc("No current order"));
  }
  std::uint32_t recno = 0;
  bool found = false;
  if (!orders_->Seek(key, soft, last, recno, found)) return OrderFailed();
  bof_ = false;
  found_ = found;
  return LoadFound(recno);
}

Value WorkArea::EvaluateOn(const Expression& expr, const std::string& record, std::uint32_t recno) {
  Fetch();  // the buffer swapped out below must be the current record
  Areas& areas = Workspace();
  const int was = areas.CurrentNumber();
  const bool ours = areas.Area(number_) == this;
  if (ours) areas.Select(number_);
  if (&record == &record_) {  // already the buffer: nothing to swap
    const std::uint32_t saved_recno = std::exchange(recno_, recno);
    const bool saved_eof = std::exchange(eof_, false);
    Value v = expr.Evaluate(areas);
    recno_ = saved_recno;
    eof_ = saved_eof;
    if (ours) areas.Select(was);
    return v;
  }
  std::string saved = std::exchange(record_, record);
  const std::uint32_t saved_recno = std::exchange(recno_, recno);
  const bool saved_eof = std::exchange(eof_, false);
  Value v = expr.Evaluate(areas);
  record_ = std::move(saved);
  recno_ = saved_recno;
  eof_ = saved_eof;
  if (ours) areas.Select(was);
  return v;
}

}  // namespace talvi::dbf
