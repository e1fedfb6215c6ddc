// SPDX-License-Identifier: MIT
// Which system a test runs on, for the few expectations that follow a
// platform rule (path separators, the archive bit), and whether a Windows
// test program runs under Wine. Wine stands in for Windows here and differs
// from it in a few documented places (docs/windows-testing.md); a test of
// such a place skips under Wine and says why.
#pragma once

namespace talvi::testing {

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
bool UnderWine();  // tests/win32/wine.cpp
#else
inline constexpr bool kOnWindows = false;
inline bool UnderWine() {
  return false;
}
#endif

}  // namespace talvi::testing
