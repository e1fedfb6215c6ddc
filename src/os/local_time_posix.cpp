// SPDX-License-Identifier: MIT
#include "os/local_time.h"

namespace talvi::os {

std::tm LocalTime(std::time_t moment) {
  std::tm tm{};
  if (::localtime_r(&moment, &tm) == nullptr) return std::tm{};
  return tm;
}

}  // namespace talvi::os
