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
export TSAN_OPTIONS=halt_on_error=1
# The setup dialog's tests need an X display; everything else runs without one.
cd "$BUILD"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 "${CTEST_ARGS[@]}"
