#!/usr/bin/env bash
# How much a capture costs over rendering alone: the benchmark mode, a PNG capture and an MP4
# capture of the same range (show time 10 to 11 at 640x480 and 60 fps, 461 frames), for one build
# or several. Each round runs, for every build in turn, benchmark, PNG, benchmark, MP4, benchmark,
# and takes each capture's rate against the mean of the two benchmarks on either side of it: this
# machine's speed drifts by a tenth within minutes, and a drift that is steady over the three runs
# cancels. Prints, per build, the median rate of each mode and the median of those ratios.
#   tools/capture_ratio.sh ROUNDS BUILD_DIR [BUILD_DIR...]
# Rates are frames over the wall time of the frame loop, start-up and precalculation left out.
set -euo pipefail
rounds=$1
shift
builds=()
for b in "$@"; do builds+=("$(cd "$b" && pwd)"); done
range=(--from 10 --to 11 --mode 640x480 --fps 60)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
# The benchmark's "show" row, or its "all frames" line where the build prints one; a capture's
# last progress line.
rate() { awk '/^frame [0-9]+\/[0-9]+ /{r=$3} /^show +[0-9]+ /{r=$6} /^all frames/{r=$NF} END{print r}'; }
run() {   # build mode
  rm -rf "$work/frames" "$work/show.mp4"
  case $2 in
    benchmark) "$1/orvanti" --benchmark "${range[@]}" ;;
    png) "$1/orvanti" --capture "$work/frames" "${range[@]}" ;;
    mp4) "$1/orvanti" --capture "$work/show.mp4" "${range[@]}" ;;
  esac 2>/dev/null | rate
}
for round in $(seq "$rounds"); do
  for i in "${!builds[@]}"; do
    for mode in benchmark png benchmark mp4 benchmark; do
      r=$(run "${builds[$i]}" $mode)
      echo "$i $mode $r $round" >>"$work/rates"
      echo "round $round: ${builds[$i]} $mode $r fps" >&2
    done
  done
done
middle() { sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for i in "${!builds[@]}"; do
  median() { awk -v i="$i" -v m="$1" '$1 == i && $2 == m {print $3}' "$work/rates" | middle; }
  # A build's runs in order; each capture against the benchmarks just before and after it.
  ratio() { awk -v i="$i" '$1 == i {print $2, $3}' "$work/rates" |
    awk -v m="$1" '{mode[NR] = $1; rate[NR] = $2}
      END {for (k = 2; k < NR; k++) if (mode[k] == m) print 2 * rate[k] / (rate[k - 1] + rate[k + 1])}' |
    middle; }
  b=$(median benchmark) p=$(median png) m=$(median mp4)
  awk -v name="${builds[$i]}" -v b="$b" -v p="$p" -v m="$m" -v pr="$(ratio png)" \
      -v mr="$(ratio mp4)" 'BEGIN {
    printf "%s\n  benchmark %.1f fps\n  png       %.1f fps  ratio %.2f\n  mp4       %.1f fps  ratio %.2f\n",
           name, b, p, pr, m, mr }'
done
