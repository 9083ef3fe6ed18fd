#!/usr/bin/env bash
# Renders the reference set (tools/reference_capture.sh: the contact sheet, 46 show times at
# 640x480, 800x600 and 1024x768, a supersampled and a scaled full-screen frame, one video of each
# container, 8 s of mixed music) with two builds and says whether they are byte-identical.
#   tools/compare_frames.sh BUILD_BEFORE BUILD_AFTER [OUT_DIR]
# A build directory is anything holding orvanti with its data/ beside it. Exit status 0 when every
# file matches, 1 when one differs (they are listed).
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BUILD_BEFORE BUILD_AFTER [OUT_DIR]" >&2; exit 2; }
here=$(dirname "$0")
out=${3:-$(mktemp -d)}
"$here/reference_capture.sh" "$1" "$out/before" >/dev/null
"$here/reference_capture.sh" "$2" "$out/after" >/dev/null
count=$(wc -l <"$out/before/SHA256SUMS")
if diff "$out/before/SHA256SUMS" "$out/after/SHA256SUMS" >"$out/differences"; then
  echo "identical: $count files ($out)"
else
  echo "DIFFERENT ($out/differences):"
  grep '^>' "$out/differences" | awk '{ print $3 }'
  exit 1
fi
