// SPDX-License-Identifier: MIT
#include "dbf/settings.h"

namespace talvi::dbf {

EngineSettings& Engine() {
  static EngineSettings settings;
  return settings;
}

}  // namespace talvi::dbf
