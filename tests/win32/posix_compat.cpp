// SPDX-License-Identifier: MIT
#include "posix_compat.h"

#include <direct.h>

#include <cerrno>
#include <cstring>
#include <random>

extern "C" char* mkdtemp(char* pattern) {
  const std::size_t length = pattern == nullptr ? 0 : std::strlen(pattern);
  if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = length - 6; i < length; ++i) pattern[i] = kLetters[pick(random)];
    if (::_mkdir(pattern) == 0) return pattern;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}
