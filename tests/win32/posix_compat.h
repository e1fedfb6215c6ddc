// SPDX-License-Identifier: MIT
// The few POSIX calls that the tests' shared helpers use and that the
// Windows C library lacks. Included first in every Windows test file.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the trailing "XXXXXX" of `pattern` with characters that make a
// new folder, creates it and gives `pattern`; null on failure.
char* mkdtemp(char* pattern);

#ifdef __cplusplus
}
#endif
