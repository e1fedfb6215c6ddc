// SPDX-License-Identifier: MIT
// The orders of one work area: index files opened into it (several per
// area, each with one or more orders), the current order, its scopes, and
// navigation through it. Orders follow every change of the table through
// the TableObserver hook: appends, field writes, delete and recall update
// every open order; zap empties them and pack rebuilds them.
//
// Order numbers start at 1 in the order the files were opened (and the
// tags within a file); 0 is record order.
//
// A shared CDX file's tags follow the file: tags that another process
// adds join the orders (in name order within their file, so the numbers
// of the orders after them move), and an order whose tag another process
// removed or replaced leaves them; the area stays on the same current
// order, or is in record order when that order left (see Refresh).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/area.h"
#include "dbf/expr.h"
#include "dbf/index_key.h"
#include "dbf/index_tree.h"

namespace talvi::dbf {

class NtxFile;
class CdxTag;

struct Order {
  std::string name;      // order (tag) name, upper case
  std::string bag_name;  // the index file's name, without folder
  std::string key_text;
  std::string for_text;
  std::unique_ptr<Expression> key;
  std::unique_ptr<Expression> condition;  // null: every record
  KeyShape shape;
  KeyFormat format = KeyFormat::kNtx;
  bool unique = false;
  bool descending = false;
  IndexTree* tree = nullptr;  // owned by the bag
  // The key is this field of the table (0-based) as it stands: its value
  // is taken from the record without evaluating the expression. -1 when
  // the key is anything else.
  int key_field = -1;
};

struct OrderSpec {
  std::string bag_path = {};  // the index file
  std::string tag = {};       // order name; default: the file's base name
  std::string key = {};
  std::string condition = {};  // FOR text, "" for none
  bool unique = false;
  bool descending = false;
  // Build over the current order within its scope instead of every record.
  bool use_current = false;
};

class Orders : public TableObserver {
 public:
  explicit Orders(WorkArea& area);
  ~Orders() override;
  Orders(const Orders&) = delete;
  Orders& operator=(const Orders&) = delete;

  // Builds a new index file and opens it as the current order.
  bool Create(const OrderSpec& wanted);
  // Opens an index file (NTX or CDX, told by its first page); its orders
  // follow the ones open already. The first file opened into an area
  // without a current order makes its first order current.
  bool Open(const std::string& bag_path);
  // Opens the table's structural CDX (the table's name, ".CDX") when the
  // driver is DBFCDX and the table's header says it has one; its orders
  // come first and none becomes current. False, with the error raised and
  // the path kept in `structural_failure()`, when the file will not open.
  bool OpenStructural();
  // The structural CDX that the table's header names but that would not
  // open (damaged, unreadable); empty when it opened or there is none.
  const std::string& structural_failure() const { return structural_failure_; }
  // Closes one index file (by its name, any letter case, with or without
  // folder and extension) or all of them but the structural CDX; record
  // order afterwards when the current order went.
  bool Close(std::string_view bag_name);
  void CloseAll();
  // Rebuilds every open order from the records. In shared mode under the
  // table lock (the area's, or taken for the call), since other processes
  // keep these orders too.
  bool Reindex();
  // Brings the orders in line with the tags of the shared CDX files that
  // this area's calls found changed by other processes (with `look`, each
  // such file is asked first, under its index lock). Every call through
  // the orders does this first. When the current order is gone, the area
  // is in record order, and the error (2/1030) is raised unless a call on
  // that order has already raised it: false then.
  bool Refresh(bool look = false);

  int count() const { return static_cast<int>(orders_.size()); }
  int current() const { return current_; }
  // 0 = record order. False (raised, error 2... argument) for no such order.
  bool SetCurrent(int number);
  bool SetCurrent(std::string_view name);
  // Order by number (1-based), null when none; number of a name, 0 when none.
  Order* At(int number);
  int Number(std::string_view name) const;
  Order* Current() { return At(current_); }

  // Scopes of the current order: the top and bottom key values (nil or
  // absent clears). Character scopes match as prefixes.
  bool SetScope(bool top, const std::optional<Value>& value);
  void ClearScopes();

  // Navigation through the current order; `recno` 0 = past the end.
  bool First(bool top, std::uint32_t& recno);
  bool Step(std::uint32_t from, const std::string& from_record, bool forward, std::uint32_t& recno);
  // Seek: `found` when a key equal to `key` (character: starting with it)
  // is visible in the scope; otherwise the next one with `soft`, else 0.
  bool Seek(const Value& key, bool soft, bool last, std::uint32_t& recno, bool& found);
  // Keys visible in the current order's scope.
  bool KeyCount(std::uint32_t& count);
  // The current order's key of a record, and whether it belongs to it.
  bool KeyOf(Order& order, const std::string& record, std::uint32_t recno, std::string& key,
             bool& included);
  // Hands over the record that the last navigation read for `recno`
  // (to tell whether it is deleted), so that it is not read twice; false
  // when there is none.
  bool TakeRecord(std::uint32_t recno, std::string& record);

  // Checks order `number` against the records: entries in order, each
  // the key of its record, every record of the order there. Problems and
  // notes are added to the lists; false only for no such order.
  bool Check(int number, std::vector<std::string>& problems, std::vector<std::string>& notes,
             std::uint32_t& keys);

  // TableObserver.
  void OnAppend(WorkArea& area, std::uint32_t recno, const std::string& record) override;
  void OnChange(WorkArea& area, std::uint32_t recno, const std::string& before,
                const std::string& after) override;
  void OnZap(WorkArea& area) override;
  bool OnCommit(WorkArea& area) override;
  void OnPack(WorkArea& area) override;
  void OnClose(WorkArea& area) override;

 private:
  struct Bag;
  std::unique_ptr<Bag> OpenBag(const std::string& path);
  Bag* FindBag(const std::string& path);
  bool IsStructural(const std::string& path);
  std::unique_ptr<Order> MakeOrder(const Bag& bag, const std::string& name, const std::string& key,
                                   const std::string& condition, KeyFormat format);
  bool CreateNtx(const OrderSpec& wanted, const std::string& path, std::unique_ptr<Order> order,
                 const Order* over);
  void Relist();
  // The order of a CDX tag, made from what the file says of it.
  std::unique_ptr<Order> OrderOf(const Bag& bag, CdxTag& tag);
  // A bag's orders in line with its CDX file's tags (see Refresh); quiet:
  // no error for a current order gone.
  bool Sync(Bag& bag, bool quiet);
  // Calls `each` with every order, each file's orders under that file's
  // index lock and in line with its tags, so that a change reaches every
  // tag the file has while it is told.
  template <typename Each>
  void Maintain(Each each);
  // Opens the structural CDX that another process made while the table was
  // open here, once its flag is seen in the header (read after every lock
  // in shared mode).
  void FollowStructural();
  // The entries of `order`: of every record, or of the records of the
  // current order `over` within its scope (a unique order keeps the first
  // record of a key met).
  bool Keys(Order& order, const Order* over, std::vector<IndexEntry>& entries);
  bool Build(Order& order, const Order* over);
  bool Visible(const IndexEntry& e);
  bool InScope(const IndexEntry& e) const;
  bool Next(const IndexEntry& e, bool up, std::optional<IndexEntry>& found);
  bool Settle(std::optional<IndexEntry>& e, bool up);
  bool FirstEntry(bool top, std::optional<IndexEntry>& e);
  bool ShapeFor(Order& order);
  void Rebuild();

  WorkArea& area_;
  std::vector<std::unique_ptr<Bag>> bags_;
  std::vector<Order*> orders_;
  int current_ = 0;
  std::string structural_failure_;
  bool structural_flag_ = false;  // the table header's flag, as last acted upon
  std::uint32_t read_recno_ = 0;  // the record in read_record_, 0 none
  std::string read_record_;
  std::optional<std::string> scope_top_;
  std::optional<std::string> scope_bottom_;
};

}  // namespace talvi::dbf
