#!/usr/bin/env bash
# Renders the same pictures with two builds and says whether they are byte-identical: the contact
# sheet and three frames at each of 30 show times that cover every scene window, its fades and
# transitions, and frames both on and between the beat flashes (640x480 PNG).
#   tools/compare_frames.sh BUILD_BEFORE BUILD_AFTER [OUT_DIR]
# A build directory is anything holding orvanti with its data/ beside it. Exit status 0 when every
# file matches, 1 when one differs (they are listed).
set -euo pipefail
before=$(cd "$1" && pwd)
after=$(cd "$2" && pwd)
out=${3:-$(mktemp -d)}
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1

times=(0.0 0.76 3.27 5.8 6.0 7.0 9.0 9.5 10.5 13.0 13.8 14.0 16.03 18.0 19.1 20.0 21.5 22.0 24.26
       26.1 28.25 29.0 30.3 32.3 32.5 33.6 34.5 35.7 37.0 39.0)

render() {
  local build=$1 dir=$2
  rm -rf "$dir"
  mkdir -p "$dir"
  "$build/orvanti" --contact-sheet "$dir/sheet.png" >/dev/null 2>&1
  for t in "${times[@]}"; do
    "$build/orvanti" --capture "$dir/t$t" --from "$t" --to "$(awk "BEGIN { print $t + 0.006 }")" \
      --mode 640x480 --fps 60 >/dev/null 2>&1
  done
  (cd "$dir" && find . -type f -name '*.png' | sort | xargs sha256sum) >"$dir.sums"
}

render "$before" "$out/before"
render "$after" "$out/after"
count=$(wc -l <"$out/before.sums")
if diff "$out/before.sums" "$out/after.sums" >"$out/differences"; then
  echo "identical: $count pictures ($out)"
else
  echo "DIFFERENT ($out/differences):"
  grep '^>' "$out/differences" | awk '{ print $3 }'
  exit 1
fi
