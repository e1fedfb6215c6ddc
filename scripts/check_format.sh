#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that every C++ source is as clang-format (with the repository's
# .clang-format) writes it, and that every source carries the licence line.
# Prints each file that is not and exits 1 when there is one; run
# "clang-format -i FILE" to mend the format.
set -euo pipefail
cd "$(dirname "$0")/.."

bad=0
while IFS= read -r f; do
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "format: $f differs from clang-format's output"
    bad=1
  fi
done < <(git ls-files '*.cpp' '*.h')

while IFS= read -r f; do
  if ! head -n 3 "$f" | grep -q 'SPDX-License-Identifier: MIT'; then
    echo "licence: $f has no SPDX-License-Identifier line in its first lines"
    bad=1
  fi
done < <(git ls-files '*.cpp' '*.h' '*.sh' 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake')

exit $bad
