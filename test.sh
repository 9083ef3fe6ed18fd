#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs every test headless.
#   ./test.sh              the whole suite
#   ./test.sh -R PATTERN   only the tests whose names match (passed on to ctest)
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh
BUILD=build
CMAKE_ARGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
CTEST_ARGS=()
while [ $# -gt 0 ]; do
  case "$1" in
    *) CTEST_ARGS+=("$1") ;;
  esac
  shift
done
cmake -S . -B "$BUILD" -G Ninja "${CMAKE_ARGS[@]}" >/dev/null
cmake --build "$BUILD"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
# The setup dialog's tests need an X display; everything else runs without one.
cd "$BUILD"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 "${CTEST_ARGS[@]}"
