#!/usr/bin/env bash
# Compiles every header of the engine on its own, so that each one includes what it uses.
#   tools/check_headers.sh CXX [FLAG ...]     (the flags carry the include directories)
set -euo pipefail
cxx=$1
shift
cd "$(dirname "$0")/.."
failed=0
count=0
for header in $(find support diagnostics render music texture effects precalc show app -name '*.h' | sort); do
  count=$((count + 1))
  if ! echo "#include \"$header\"" | "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -I. "$@" \
      -x c++ - 2>/tmp/check_headers.$$; then
    echo "$header does not compile on its own:"
    head -5 /tmp/check_headers.$$
    failed=$((failed + 1))
  fi
done
rm -f /tmp/check_headers.$$
[ "$failed" -eq 0 ] || { echo "$failed of $count headers do not compile on their own" >&2; exit 1; }
echo "$count headers compile on their own"
