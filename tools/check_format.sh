#!/usr/bin/env bash
# Every C++ file of the tree follows .clang-format. Lists the files that do not and fails.
#   tools/check_format.sh [ROOT]        (clang-format -i FILE puts one right)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
bad=0
while IFS= read -r -d '' file; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    bad=$((bad + 1))
  fi
done < <(find . \( -path ./build -o -path './build-*' -o -path ./.git \) -prune -o \
              \( -name '*.cpp' -o -name '*.h' \) -print0)
[ "$bad" -eq 0 ] || { echo "$bad files differ from .clang-format" >&2; exit 1; }
echo "every file follows .clang-format"
