// SPDX-License-Identifier: MIT
// Only for the fuzz build: Debian's clang 14 with libstdc++ 12 has no
// std::source_location (the library needs a builtin that clang gained in
// version 15). This stand-in has the members the error layer reads.
#pragma once

#include <cstdint>
#include <source_location>

#if !defined(__cpp_lib_source_location)
namespace std {
struct source_location {
  static constexpr source_location current(const char* file = __builtin_FILE(),
                                           const char* function = __builtin_FUNCTION(),
                                           std::uint_least32_t line = __builtin_LINE()) noexcept {
    source_location s;
    s.file_ = file;
    s.function_ = function;
    s.line_ = line;
    return s;
  }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr const char* function_name() const noexcept { return function_; }
  constexpr std::uint_least32_t line() const noexcept { return line_; }
  constexpr std::uint_least32_t column() const noexcept { return 0; }

  const char* file_ = "";
  const char* function_ = "";
  std::uint_least32_t line_ = 0;
};
}  // namespace std
#endif
