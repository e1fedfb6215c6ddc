// SPDX-License-Identifier: MIT
// Process-wide named variables that any code may read or assign by name,
// such as the access-control variables ACS_USER, ACS_TEMP, ACS_PASSWD and
// ACS_LEVEL. Names are matched without regard to ASCII letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace talvi::lib {

using VarValue = std::variant<std::string, std::int64_t, bool>;

// Creates `name` or replaces its value.
void SetVar(std::string_view name, VarValue value);

// The value of `name`, or none when no such variable exists.
std::optional<VarValue> GetVar(std::string_view name);

// The value of `name` when it exists and holds a T; none otherwise.
template <typename T>
std::optional<T> GetVarAs(std::string_view name) {
  const std::optional<VarValue> value = GetVar(name);
  if (!value || !std::holds_alternative<T>(*value)) return std::nullopt;
  return std::get<T>(*value);
}

// The names of all variables, upper-cased, in sorted order.
std::vector<std::string> VarNames();

// Removes `name`; answers whether it existed.
bool ReleaseVar(std::string_view name);

}  // namespace talvi::lib
