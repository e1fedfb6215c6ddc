// SPDX-License-Identifier: MIT
// What the orders' files share inside the engine: an open index file (an
// NTX file with its one order, or a CDX file with its tags) and the name
// helpers of order and bag names.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/cdx.h"
#include "dbf/ntx.h"
#include "dbf/orders.h"

namespace talvi::dbf {

struct Orders::Bag {
  std::string path;
  std::string name;  // the file's name, without folder
  std::unique_ptr<NtxFile> ntx;
  std::unique_ptr<CdxFile> cdx;
  std::vector<std::unique_ptr<Order>> orders;
  bool structural = false;  // the table's own CDX, opened with it
};

std::string UpperText(std::string_view s);
std::string BaseNameOf(const std::string& path);
// Key texts that other writers store may name the table by an alias
// (`cust->name`); the key always belongs to its own table, so the
// qualifier is dropped before compiling (FIELD-> stays).
std::string WithoutAliases(const std::string& text);

}  // namespace talvi::dbf
