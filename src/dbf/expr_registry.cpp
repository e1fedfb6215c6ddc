// SPDX-License-Identifier: MIT
// The registry of named routines that expressions call.
#include <cctype>
#include <map>

#include "dbf/codes.h"
#include "dbf/expr.h"
#include "dbf/expr_node.h"

namespace talvi::dbf {

void RegisterBuiltins(std::map<std::string, Routine>& table);  // expr_functions.cpp

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::map<std::string, Routine>& Registry() {
  static std::map<std::string, Routine> table = [] {
    std::map<std::string, Routine> t;
    RegisterBuiltins(t);
    return t;
  }();
  return table;
}

}  // namespace

void RegisterFunction(std::string_view name, Routine routine) {
  Registry()[Upper(name)] = std::move(routine);
}

bool HasFunction(std::string_view name) {
  return Registry().contains(Upper(name));
}

Value CallFunction(const std::string& name, Areas& areas, const std::vector<Value>& args) {
  const auto it = Registry().find(name);
  if (it == Registry().end()) {
    // The handler shows this one in full and abandons; no default answer.
    return RaiseExprError(kGenNoFunc, "Undefined function", name, false);
  }
  CallContext ctx{areas, name};
  return it->second(ctx, args);
}

}  // namespace talvi::dbf
