// SPDX-License-Identifier: MIT
// The index files of a work area: creating an order (an NTX file, or a tag
// of a CDX file, as the driver setting says), opening files of either
// format (told apart by their first page), the structural CDX that opens
// with its table, and closing.
#include <algorithm>
#include <filesystem>

#include "dbf/codes.h"
#include "dbf/names.h"
#include "dbf/orders_bag.h"
#include "dbf/raise.h"
#include "dbf/settings.h"

namespace talvi::dbf {
namespace {

bool CdxDriver() {
  return UpperText(Engine().driver) != "DBFNTX";
}

bool IsNtxName(const std::string& path) {
  return UpperText(std::filesystem::path(path).extension().string()) == ".NTX";
}

// Whether the file at `path` starts with a CDX compound header.
bool FileIsCdx(const std::string& path) {
  int oscode = 0;
  auto f = os::SharedFile::Open(path, os::SharedMode(true), oscode);
  if (!f) return false;
  unsigned char b[1024] = {};
  const std::int64_t got = f->ReadAt(0, b, sizeof b);
  return got > 0 && CdxFile::LooksLikeCdx(b, static_cast<std::size_t>(got));
}

}  // namespace

bool Orders::IsStructural(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path bag(path), table(area_.table()->path());
  return UpperText(bag.extension().string()) == ".CDX" &&
         UpperText(bag.stem().string()) == UpperText(table.stem().string()) &&
         fs::absolute(bag).parent_path() == fs::absolute(table).parent_path();
}

void Orders::Relist() {
  const Order* cur = Current();
  orders_.clear();
  for (auto& bag : bags_) {
    for (auto& o : bag->orders) orders_.push_back(o.get());
  }
  const auto pos = std::find(orders_.begin(), orders_.end(), cur);
  current_ = pos == orders_.end() ? 0 : static_cast<int>(pos - orders_.begin()) + 1;
  if (current_ == 0) ClearScopes();
}

Orders::Bag* Orders::FindBag(const std::string& path) {
  const std::string want = UpperText(std::filesystem::absolute(path).string());
  for (auto& b : bags_) {
    if (UpperText(std::filesystem::absolute(b->path).string()) == want) return b.get();
  }
  return nullptr;
}

// An order for a tree whose key and FOR texts come from the file.
std::unique_ptr<Order> Orders::MakeOrder(const Bag& bag, const std::string& name,
                                         const std::string& key, const std::string& condition,
                                         KeyFormat format) {
  auto order = std::make_unique<Order>();
  order->name = UpperText(name).substr(0, 10);
  order->bag_name = bag.name;
  order->key_text = key;
  order->for_text = condition;
  order->format = format;
  order->key = Expression::Compile(WithoutAliases(key));
  if (!order->key) return nullptr;
  if (!condition.empty()) {
    order->condition = Expression::Compile(WithoutAliases(condition));
    if (!order->condition) return nullptr;
  }
  if (!ShapeFor(*order)) return nullptr;
  const std::string field = order->key->PlainField();
  if (!field.empty()) order->key_field = area_.table()->FieldIndex(field);
  return order;
}

std::unique_ptr<Orders::Bag> Orders::OpenBag(const std::string& path) {
  auto bag = std::make_unique<Bag>();
  bag->path = path;
  bag->name = std::filesystem::path(path).filename().string();
  Table& t = *area_.table();
  if (FileIsCdx(path)) {
    bag->cdx = CdxFile::Open(path, t.shared(), t.read_only());
    if (!bag->cdx) return nullptr;
    bag->tags_seen = bag->cdx->tags_version();
    for (auto& tag : bag->cdx->tags()) {
      auto order = OrderOf(*bag, *tag);
      if (!order) return nullptr;
      bag->orders.push_back(std::move(order));
    }
    return bag;
  }
  bag->ntx = NtxFile::Open(path, t.shared(), t.read_only());
  if (!bag->ntx) return nullptr;
  const NtxHeader& h = bag->ntx->header();
  auto order = MakeOrder(*bag, h.name.empty() ? BaseNameOf(path) : h.name, h.key_expr, h.for_expr,
                         KeyFormat::kNtx);
  if (!order) return nullptr;
  order->unique = h.unique;
  order->descending = h.descending;
  order->shape.size = h.key_size;
  order->shape.decimals = h.decimals;
  order->tree = bag->ntx.get();
  bag->orders.push_back(std::move(order));
  return bag;
}

bool Orders::Open(const std::string& bagPath) {
  if (!area_.used()) {
    return Fail(Failure(kGenNoTable, kSubArea).Op("ordlistadd").Desc("Work area not in use"));
  }
  std::string path = WithDefaultExtension(bagPath, CdxDriver() ? ".CDX" : ".NTX");
  const std::string found = FindIgnoringCase(path);
  if (!found.empty()) path = found;
  if (FindBag(path)) return true;  // open already
  auto bag = OpenBag(path);
  if (!bag) return false;
  bag->structural = IsStructural(path);
  bags_.push_back(std::move(bag));
  Relist();
  if (current_ == 0 && !bags_.back()->orders.empty()) {
    current_ = Number(bags_.back()->orders.front()->name);
  }
  return true;
}

bool Orders::OpenStructural() {
  structural_failure_.clear();
  Table& t = *area_.table();
  // The prefix as last read: the flag may have come on since the open.
  structural_flag_ = (static_cast<unsigned char>(t.header().prefix[28]) & 0x01) != 0;
  if (!CdxDriver() || !structural_flag_) return true;
  const std::string path = FindIgnoringCase(ReplaceExtension(t.path(), ".CDX"));
  if (path.empty()) return true;  // the flag without the file: record order only
  auto bag = OpenBag(path);
  if (!bag) {
    structural_failure_ = path;
    return false;
  }
  bag->structural = true;
  bags_.push_back(std::move(bag));
  std::rotate(bags_.begin(), bags_.end() - 1, bags_.end());  // the structural one first
  Relist();
  return true;
}

bool Orders::Create(const OrderSpec& wanted) {
  if (!area_.used()) {
    return Fail(Failure(kGenNoTable, kSubArea).Op("ordcreate").Desc("Work area not in use"));
  }
  // The pending record reaches the file (and the open orders) before the
  // build reads the records.
  if (!area_.Commit()) return false;
  const bool cdx = CdxDriver();
  std::string path =
      ApplyCase(WithDefaultExtension(wanted.bag_path, cdx ? ".CDX" : ".NTX"), Engine().file_case);
  const std::string existing = FindIgnoringCase(path);
  Bag placeholder;
  placeholder.path = path;
  placeholder.name = std::filesystem::path(path).filename().string();
  auto order = MakeOrder(placeholder, wanted.tag.empty() ? BaseNameOf(path) : wanted.tag,
                         wanted.key, wanted.condition, cdx ? KeyFormat::kCdx : KeyFormat::kNtx);
  if (!order) return false;
  order->unique = wanted.unique;
  order->descending = wanted.descending;
  if (!cdx)
    return CreateNtx(wanted, path, std::move(order), wanted.use_current ? Current() : nullptr);
  // An index named .NTX under DBFCDX is a CDX file with one tag, made anew;
  // other names add a tag to the file (open here already, or on disk).
  Bag* bag = IsNtxName(path) ? nullptr : FindBag(existing.empty() ? path : existing);
  const bool onDisk = !IsNtxName(path) && !existing.empty() && FileIsCdx(existing);
  // A file that exists may be open in other processes, which keep its
  // tags: the new tag is built under the table lock, and this area's
  // orders first learn of what others did to the file.
  // So may a new structural CDX: others that hold the table open it at
  // their next change, when they see the flag.
  BuildLock lock(area_, (bag && bag->cdx) || (!bag && onDisk) || IsStructural(path), "ordcreate");
  if (!lock.ok() || !Refresh(true)) return false;
  const Order* over = wanted.use_current ? Current() : nullptr;
  if (bag && !bag->cdx) {  // an NTX file of that name: replaced by a CDX file
    Close(bag->path);
    bag = nullptr;
  }
  std::unique_ptr<Bag> fresh;
  if (!bag) {
    if (onDisk) {
      fresh = OpenBag(existing);
    } else {
      if (FindBag(path)) Close(path);
      if (auto made = CdxFile::Create(path)) {
        made.reset();  // reopened in the table's share mode
        fresh = OpenBag(path);
      }
    }
    if (!fresh) return false;
    bag = fresh.get();
  }
  // A tag of the same name is replaced: its order cannot be built over.
  for (const auto& o : bag->orders) {
    if (o->name == order->name && over == o.get()) over = nullptr;
  }
  std::vector<IndexEntry> entries;
  if (!Keys(*order, over, entries)) return false;
  const bool opened = fresh != nullptr;
  if (fresh) {
    fresh->structural = IsStructural(fresh->path);
    const bool first = fresh->structural;
    bags_.push_back(std::move(fresh));
    if (first) std::rotate(bags_.begin(), bags_.end() - 1, bags_.end());
  }
  CdxTagInfo info;
  info.name = order->name;
  info.keyExpr = wanted.key;
  info.forExpr = wanted.condition;
  info.unique = wanted.unique;
  info.descending = wanted.descending;
  info.keyLength = static_cast<std::uint16_t>(order->shape.size);
  info.type = order->shape.type;
  // The tag appears with its keys: one hold from the directory entry to
  // the last node, so that no other process sees it empty.
  CdxTag* tag = nullptr;
  {
    CdxFile::Hold hold(*bag->cdx, true);
    tag = hold.ok() ? bag->cdx->AddTag(info) : nullptr;
    if (tag) {
      tag->SizeRecnos(area_.table()->RecordCount());
      if (!tag->Load(std::move(entries))) tag = nullptr;
    }
  }
  if (tag) {
    order->bag_name = bag->name;
    order->tree = tag;
    bag->orders.push_back(std::move(order));
  }
  // The orders as the file now has its tags (a tag replaced leaves with
  // its order, quietly: this call replaced it).
  Sync(*bag, true);
  if (!tag && opened) {  // a file opened for the tag closes again
    std::erase_if(bags_, [&](const auto& b) { return b.get() == bag; });
    Relist();
  }
  if (!tag || !tag->Flush()) return false;
  if (bag->structural && !area_.table()->MarkStructural()) return false;
  for (int i = 1; i <= count(); ++i) {
    if (At(i)->tree == tag) return SetCurrent(i);
  }
  return true;
}

bool Orders::CreateNtx(const OrderSpec& wanted, const std::string& path,
                       std::unique_ptr<Order> order, const Order* over) {
  Close(path);
  NtxHeader h;
  h.key_size = static_cast<std::uint16_t>(order->shape.size);
  h.decimals = static_cast<std::uint16_t>(order->shape.decimals);
  h.key_expr = wanted.key;
  h.unique = wanted.unique;
  h.descending = wanted.descending;
  h.for_expr = wanted.condition;
  h.name = order->name;
  auto bag = std::make_unique<Bag>();
  bag->path = path;
  bag->name = order->bag_name;
  bag->ntx = NtxFile::Create(path, h);
  if (!bag->ntx) return false;
  order->tree = bag->ntx.get();
  if (!Build(*order, over)) return false;
  // Reopened in the table's share mode, as every other index file.
  bag->ntx.reset();
  bag->ntx = NtxFile::Open(path, area_.table()->shared(), area_.table()->read_only());
  if (!bag->ntx) return false;
  order->tree = bag->ntx.get();
  bag->orders.push_back(std::move(order));
  bags_.push_back(std::move(bag));
  Relist();
  return SetCurrent(count());
}

bool Orders::Close(std::string_view bagName) {
  const std::string want =
      UpperText(std::filesystem::path(std::string(bagName)).filename().string());
  const std::string wantStem = UpperText(BaseNameOf(std::string(bagName)));
  bool closed = false;
  for (auto it = bags_.begin(); it != bags_.end();) {
    const std::string have = UpperText((*it)->name);
    if (have == want || UpperText(BaseNameOf((*it)->name)) == wantStem) {
      it = bags_.erase(it);
      closed = true;
    } else {
      ++it;
    }
  }
  Relist();
  return closed;
}

void Orders::CloseAll() {
  bags_.erase(
      std::remove_if(bags_.begin(), bags_.end(), [](const auto& b) { return !b->structural; }),
      bags_.end());
  Relist();
}

void Orders::OnClose(WorkArea&) {
  bags_.clear();
  Relist();
}

}  // namespace talvi::dbf
