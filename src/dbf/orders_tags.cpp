// SPDX-License-Identifier: MIT
// The orders of a shared CDX file follow its tags: tags that other
// processes add become orders here, orders whose tags they removed or
// replaced go. And the table lock that a build needs when other processes
// keep the order being built.
#include <algorithm>

#include "dbf/codes.h"
#include "dbf/orders_bag.h"
#include "dbf/raise.h"

namespace talvi::dbf {

BuildLock::BuildLock(WorkArea& area, bool needed, const char* operation) : area_(area) {
  if (!needed || !area_.table()->shared() || area_.TableLocked()) return;
  ok_ = area_.FLock();
  took_ = area_.TableLocked();
  if (!ok_ && !took_) {
    Fail(Failure(kGenLock, kSubLock)
             .File(area_.table()->path())
             .Op(operation)
             .Desc("Table lock not granted: other processes keep this order too"));
  }
}

BuildLock::~BuildLock() {
  if (took_) area_.UnlockAll();
}

std::unique_ptr<Order> Orders::OrderOf(const Bag& bag, CdxTag& tag) {
  const CdxTagInfo& info = tag.info();
  auto order = MakeOrder(bag, info.name, info.keyExpr, info.forExpr, KeyFormat::kCdx);
  if (!order) return nullptr;
  order->unique = info.unique;
  order->descending = info.descending;
  order->shape.size = info.keyLength;
  tag.SetKeyType(order->shape.type);
  tag.SizeRecnos(area_.table()->RecordCount());
  order->tree = &tag;
  return order;
}

bool Orders::Sync(Bag& bag, bool quiet) {
  CdxFile& cdx = *bag.cdx;
  const std::uint64_t version = cdx.tags_version();
  std::vector<std::unique_ptr<Order>> orders;
  bool complete = true;
  for (const auto& tag : cdx.tags()) {
    const auto kept = std::find_if(bag.orders.begin(), bag.orders.end(),
                                   [&](const auto& o) { return o && o->tree == tag.get(); });
    if (kept != bag.orders.end()) {
      orders.push_back(std::move(*kept));
      continue;
    }
    // A key this process cannot compile is raised; the tag is tried again
    // at the next call (and raised again), never skipped in silence.
    auto order = OrderOf(bag, *tag);
    if (!order) {
      complete = false;
      continue;
    }
    orders.push_back(std::move(order));
  }
  // What is left belongs to tags gone from the file.
  bool ok = true;
  const Order* current = Current();
  for (const auto& o : bag.orders) {
    if (!o || o.get() != current) continue;
    current_ = 0;
    ClearScopes();
    auto& tag = static_cast<CdxTag&>(*o->tree);
    if (!quiet && !tag.reported()) ok = tag.Gone();
  }
  bag.orders = std::move(orders);
  cdx.ForgetRetired();
  if (complete) bag.tags_seen = version;
  Relist();
  return ok;
}

void Orders::FollowStructural() {
  Table& t = *area_.table();
  if (structural_flag_ || !t.shared()) return;
  if ((static_cast<unsigned char>(t.header().prefix[28]) & 0x01) == 0) return;
  for (const auto& bag : bags_) {
    if (bag->structural) return;
  }
  OpenStructural();  // once: a failure is raised and kept in structural_failure()
  structural_flag_ = true;
}

bool Orders::Refresh(bool look) {
  bool ok = true;
  for (auto& bag : bags_) {
    if (!bag->cdx) continue;
    if (look && bag->cdx->shared()) {
      CdxFile::Hold hold(*bag->cdx, false);
      ok = hold.ok() && ok;
    }
    if (bag->tags_seen != bag->cdx->tags_version()) ok = Sync(*bag, false) && ok;
  }
  return ok;
}

}  // namespace talvi::dbf
