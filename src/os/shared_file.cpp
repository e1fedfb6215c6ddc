// SPDX-License-Identifier: MIT
#include "os/shared_file.h"

namespace talvi::os {

OpenMode SharedMode(bool read_only) {
  OpenMode mode;
  mode.read = true;
  mode.write = !read_only;
  mode.share_read = true;
  mode.share_write = true;
  return mode;
}

OpenMode ExclusiveMode(bool read_only) {
  OpenMode mode;
  mode.read = true;
  mode.write = !read_only;
  mode.share_read = false;
  mode.share_write = false;
  return mode;
}

}  // namespace talvi::os
