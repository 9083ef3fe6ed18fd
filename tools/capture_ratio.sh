#!/usr/bin/env bash
# How much a capture costs over rendering alone: the benchmark mode, a PNG capture and an MP4
# capture of the same range (show time 10 to 11 at 640x480 and 60 fps, 461 frames), run in turns
# so that a busy machine weighs on all three alike; prints each rate and its ratio to the
# benchmark's.
#   tools/capture_ratio.sh BUILD_DIR [ROUNDS] [EXTRA_OPTIONS...]   (default 1 round)
# Rates are frames over the wall time of the frame loop, start-up and precalculation left out.
set -euo pipefail
build=$(cd "$1" && pwd)
rounds=${2:-1}
shift $(($# < 2 ? $# : 2))
range=(--from 10 --to 11 --mode 640x480 --fps 60 "$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
rate() { awk '/^frame [0-9]+\/[0-9]+ /{r=$3} /^all frames/{r=$NF} END{print r}'; }
declare -A sum=([benchmark]=0 [png]=0 [mp4]=0)
for round in $(seq "$rounds"); do
  b=$("$build/orvanti" --benchmark "${range[@]}" 2>/dev/null | rate)
  rm -rf "$work/frames" "$work/show.mp4"
  p=$("$build/orvanti" --capture "$work/frames" "${range[@]}" 2>/dev/null | rate)
  m=$("$build/orvanti" --capture "$work/show.mp4" "${range[@]}" 2>/dev/null | rate)
  echo "round $round: benchmark $b fps, png $p fps, mp4 $m fps"
  sum[benchmark]=$(awk "BEGIN{print ${sum[benchmark]} + $b}")
  sum[png]=$(awk "BEGIN{print ${sum[png]} + $p}")
  sum[mp4]=$(awk "BEGIN{print ${sum[mp4]} + $m}")
done
awk -v b="${sum[benchmark]}" -v p="${sum[png]}" -v m="${sum[mp4]}" -v n="$rounds" 'BEGIN {
  printf "benchmark %.1f fps\npng       %.1f fps  ratio %.2f\nmp4       %.1f fps  ratio %.2f\n",
         b / n, p / n, p / b, m / n, m / b }'
