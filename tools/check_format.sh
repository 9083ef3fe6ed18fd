#!/usr/bin/env bash
# Every C++ file of the tree follows .clang-format. Lists the files that do not and fails.
#   tools/check_format.sh [ROOT]        (clang-format -i FILE puts one right)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
# One clang-format for all files: it names each file that differs in its diagnostics.
report=$(find . \( -path ./build -o -path './build-*' -o -path ./.git \) -prune -o \
              \( -name '*.cpp' -o -name '*.h' \) -print0 |
         xargs -0 clang-format --dry-run -Werror 2>&1) && status=0 || status=$?
bad=$(printf '%s\n' "$report" | sed -n 's/^\(\.\/[^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ "$status" -ne 0 ] || [ -n "$bad" ]; then
  [ -n "$bad" ] && printf 'not formatted: %s\n' $bad
  [ -n "$bad" ] || printf '%s\n' "$report" | head -5
  echo "files differ from .clang-format" >&2
  exit 1
fi
echo "every file follows .clang-format"
