#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs every test headless.
#   ./test.sh              the whole suite
#   ./test.sh -R PATTERN   only the tests whose names match (passed on to ctest)
#   ./test.sh --sanitize   the same in build-asan/, with AddressSanitizer and UBSan
#   ./test.sh --tsan       the same in build-tsan/, with ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh
BUILD=build
CMAKE_ARGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
CTEST_ARGS=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) BUILD=build-asan; CMAKE_ARGS+=(-DORVANTI_SANITIZE=ON -DORVANTI_BENCH=OFF) ;;
    --tsan) BUILD=build-tsan; CMAKE_ARGS+=(-DORVANTI_TSAN=ON -DORVANTI_BENCH=OFF) ;;
    *) CTEST_ARGS+=("$1") ;;
  esac
  shift
done
cmake -S . -B "$BUILD" -G Ninja "${CMAKE_ARGS[@]}" >/dev/null
cmake --build "$BUILD"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
# Any sanitizer report fails the test it comes from.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tools/tsan.supp"
# The setup dialog's tests need an X display; everything else runs without one.
# Xvfb picks a free display number itself and writes it to us once it is ready, so several of
# these runs can share a machine without racing for one number.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 200); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "test.sh: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$display_file" ] || { echo "test.sh: Xvfb gave no display within 10 s" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$display_file")"
status=0
(cd "$BUILD" && ctest --output-on-failure -j2 "${CTEST_ARGS[@]}") || status=$?
# The size of the tests against the product's, for the summary.
tools/count_lines.sh . || true
exit "$status"
