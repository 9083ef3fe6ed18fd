#!/usr/bin/env bash
# Non-blank lines of C++ (.cpp, .h) in the product and in the tests, and the tests' share of
# both. bench/ and fuzz/ count as neither. Exits 1 when the tests are over a third.
#   tools/count_lines.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
    xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}
product=$(count app music show texture render effects precalc support diagnostics tools/datagen)
tests=$(count tests)
awk -v p="$product" -v t="$tests" 'BEGIN {
  share = 100 * t / (t + p)
  printf "lines: product %d, tests %d: tests %.1f %% of all code (at most 33.3 %%)\n", p, t, share
  exit share > 100 / 3 ? 1 : 0
}'
