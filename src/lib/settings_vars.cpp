// SPDX-License-Identifier: MIT
#include "lib/settings_vars.h"

#include <map>
#include <mutex>

#include "base/ascii.h"

namespace talvi::lib {
namespace {

std::mutex vars_mutex;
std::map<std::string, VarValue>& Vars() {
  static std::map<std::string, VarValue> vars;
  return vars;
}

std::string Key(std::string_view name) {
  return base::AsciiUpper(name);
}

}  // namespace

void SetVar(std::string_view name, VarValue value) {
  std::lock_guard lock(vars_mutex);
  Vars()[Key(name)] = std::move(value);
}

std::optional<VarValue> GetVar(std::string_view name) {
  std::lock_guard lock(vars_mutex);
  const auto found = Vars().find(Key(name));
  if (found == Vars().end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> VarNames() {
  std::lock_guard lock(vars_mutex);
  std::vector<std::string> names;
  for (const auto& entry : Vars()) names.push_back(entry.first);
  return names;
}

bool ReleaseVar(std::string_view name) {
  std::lock_guard lock(vars_mutex);
  return Vars().erase(Key(name)) > 0;
}

}  // namespace talvi::lib
