#!/usr/bin/env bash
# How much a capture costs over rendering alone: the benchmark mode, a PNG capture, an MP4 capture
# and a lossless master (.mkv, --lossless) of the same range (show time 10 to 11 at 60 fps, 461
# frames; 640x480 unless MODE=WxH is set), for one build or several. Each round runs, for every
# build in turn, benchmark, PNG, benchmark, MP4, benchmark, lossless, benchmark, and takes each
# capture's rate against the mean of the two benchmarks on either side of it: this machine's speed
# drifts by a tenth within minutes, and a drift that is steady over the three runs cancels. Prints,
# per build, the median rate of each mode, the median of those ratios, and the median size of
# each file per minute of show.
#   [MODE=WxH] tools/capture_ratio.sh ROUNDS BUILD_DIR [BUILD_DIR...]
# Rates are frames over the wall time of the frame loop, start-up and precalculation left out.
# A build without --lossless gets no lossless rows.
set -euo pipefail
rounds=$1
shift
builds=()
for b in "$@"; do builds+=("$(cd "$b" && pwd)"); done
range=(--from 10 --to 11 --mode "${MODE:-640x480}" --fps 60)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
# The benchmark's "show" row, or its "all frames" line where the build prints one; a capture's
# last progress line.
rate() { awk '/^frame [0-9]+\/[0-9]+ /{r=$3} /^show +[0-9]+ /{r=$6} /^all frames/{r=$NF} END{print r}'; }
run() {   # build mode: prints the rate and the file's size in bytes
  local out=$work/frames args=()
  case $2 in
    benchmark) out= ; args=(--benchmark) ;;
    png) args=(--capture "$out") ;;
    mp4) out=$work/show.mp4; args=(--capture "$out") ;;
    lossless) out=$work/master.mkv; args=(--capture "$out" --lossless) ;;
  esac
  rm -rf "$work/frames" "$work/show.mp4" "$work/master.mkv"
  "$1/orvanti" "${args[@]}" "${range[@]}" 2>/dev/null | rate | tr '\n' ' '
  if [ -n "$out" ] && [ -e "$out" ]; then du -sb "$out" | cut -f1; else echo 0; fi
}
modes=(benchmark png benchmark mp4 benchmark lossless benchmark)
for round in $(seq "$rounds"); do
  for i in "${!builds[@]}"; do
    for mode in "${modes[@]}"; do
      read -r r size < <(run "${builds[$i]}" $mode) || true
      [ -n "$r" ] || continue   # a mode the build does not have
      echo "$i $mode $r $round $size" >>"$work/rates"
      echo "round $round: ${builds[$i]} $mode $r fps, $size bytes" >&2
    done
  done
done
middle() { sort -g | awk '{v[NR] = $1} END {if (NR) print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for i in "${!builds[@]}"; do
  median() { awk -v i="$i" -v m="$1" -v f="${2:-3}" '$1 == i && $2 == m {print $f}' "$work/rates" | middle; }
  # A build's runs in order; each capture against the benchmarks just before and after it.
  ratio() { awk -v i="$i" '$1 == i {print $2, $3}' "$work/rates" |
    awk -v m="$1" '{mode[NR] = $1; rate[NR] = $2}
      END {for (k = 2; k < NR; k++) if (mode[k] == m && mode[k - 1] == "benchmark" && mode[k + 1] == "benchmark")
        print 2 * rate[k] / (rate[k - 1] + rate[k + 1])}' |
    middle; }
  echo "${builds[$i]}"
  printf '  benchmark %.1f fps\n' "$(median benchmark)"
  for mode in png mp4 lossless; do
    [ -n "$(median $mode)" ] || continue
    # One pattern is 7.68 s of show: bytes per minute from the file of one pattern.
    awk -v m="$mode" -v r="$(median $mode)" -v q="$(ratio $mode)" -v s="$(median $mode 5)" \
      'BEGIN {printf "  %-9s %.1f fps  ratio %.2f  %.0f MB a minute\n", m, r, q, s * 60 / 7.68 / 1e6}'
  done
done
