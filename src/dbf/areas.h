// SPDX-License-Identifier: MIT
// The work areas of the process, numbered 1 to 65535, with aliases, the
// current area and the first free one. Area 65534 is where the library
// keeps the system lock table; it is an ordinary area otherwise.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "dbf/area.h"

namespace talvi::dbf {

inline constexpr int kMaxArea = 65535;
inline constexpr int kSystemLockArea = 65534;

class Areas {
 public:
  // The current area (made on first use).
  WorkArea& Current();
  int CurrentNumber() const { return current_; }
  // Selects area `n` (1..65535); 0 selects the first free area. False
  // (raised) for a number out of range.
  bool Select(int n);
  // Selects the area with that alias (any letter case); false (raised,
  // error 15) when none has it.
  bool Select(std::string_view alias);
  // The number of the area with that alias, 0 when none.
  int Find(std::string_view alias) const;
  int FirstFree() const;
  // The alias of area `n` ("" when not in use).
  std::string Alias(int n) const;
  WorkArea* Area(int n);

  // Opens a table in the current area, or in the first free one with
  // `new_area`; the alias defaults to the file's base name in upper case.
  // An alias already in use elsewhere is refused.
  bool Use(const std::string& path, const std::string& alias, const OpenOptions& options,
           bool new_area = false);
  // Closes the current area's table.
  void CloseArea();
  // Closes every table and selects area 1.
  void CloseAll();

 private:
  std::map<int, std::unique_ptr<WorkArea>> areas_;
  int current_ = 1;
};

// The process's work areas. Used from the one thread that runs the
// program's logic.
Areas& Workspace();

}  // namespace talvi::dbf
