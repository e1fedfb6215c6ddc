// SPDX-License-Identifier: MIT
// Windows-1252 <-> UTF-8, used wherever a program text meets a window. The
// table is the one the file names use (os/text1252.h).
#include "os/text1252.h"

#include <string>

#include "ui/text1252.h"

namespace talvi::ui {

std::string AnsiToUtf8(const std::string& ansi) {
  return os::Utf8From1252(ansi);
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::string out;
  os::Utf8To1252(utf8, out);
  return out;
}

}  // namespace talvi::ui
