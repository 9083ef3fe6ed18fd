#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs each one for
# SECONDS (niced, one after the other), starting from the seeds in fuzz/seeds/<target>/ and the
# corpus earlier runs grew in build-fuzz/corpus/<target>/.
#   tools/fuzz.sh SECONDS [jpeg] [music]     (default: both targets)
# A crashing, leaking or hanging input is saved in build-fuzz/findings/<target>/ and makes the
# script fail; copy it to fuzz/regressions/<target>/ once it is fixed, where
# test_robustness replays it. Each run's last lines (executions, coverage) go to
# build-fuzz/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:?usage: tools/fuzz.sh SECONDS [jpeg] [music]}
shift
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(jpeg music)
tools/deps.sh
BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANTI_FUZZ=ON -DORVANTI_BENCH=OFF -DORVANTI_DATA=OFF \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
nice -n 10 cmake --build "$BUILD" --target "${TARGETS[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
export SDL_AUDIODRIVER=dummy
status=0
for target in "${TARGETS[@]}"; do
  corpus=$BUILD/corpus/$target findings=$BUILD/findings/$target
  mkdir -p "$corpus" "$findings"
  # A 65500 x 65500 header is refused before decoding; anything the decoder does accept may
  # need a few hundred megabytes, hence the raised memory limit.
  if ! nice -n 10 "$BUILD/fuzz/fuzz_$target" "$corpus" "fuzz/seeds/$target" \
      -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=120 -rss_limit_mb=4096 \
      -artifact_prefix="$findings/" -print_final_stats=1 >"$BUILD/$target.log" 2>&1; then
    echo "fuzz: $target found a failing input (see $BUILD/$target.log, $findings/)" >&2
    status=1
  fi
  grep -E "^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)|cov:" \
    "$BUILD/$target.log" | tail -4 | sed "s/^/fuzz: $target: /"
done
exit $status
