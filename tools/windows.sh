#!/usr/bin/env bash
# Builds the 64-bit Windows program with MinGW-w64 on Debian and packs build-win64/orvanti-win64.zip:
# orvanti.exe (linked statically: it needs no DLL beyond Windows' own), data/ (made by the Linux
# build's generator: the same bytes on both), README.md and the licences of what is linked in.
#   tools/windows.sh          install what is missing, build, pack
#   tools/windows.sh --test   the same, then the tests under Wine and Xvfb (tests/windows/)
# The libraries are built once from Debian's source packages (tools/windows/libs.sh) and kept
# outside the clone.
set -euo pipefail
cd "$(dirname "$0")/.."
test=0
case "${1:-}" in
  --test) test=1 ;;
  "") ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac
tools/deps.sh windows

# The Linux build: the generator for data/, and for the tests the program whose frames the
# Windows program's are compared with.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target orvanti

ORVANTI_WIN64_PREFIX=$(tools/windows/libs.sh)
export ORVANTI_WIN64_PREFIX
cmake -S . -B build-win64 -G Ninja --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTI_DATA=OFF >/dev/null
cmake --build build-win64 --target orvanti

# The package, from a clean folder each time.
stage=build-win64/orvanti-win64
rm -rf "$stage" build-win64/orvanti-win64.zip
mkdir -p "$stage/licenses"
x86_64-w64-mingw32-strip -o "$stage/orvanti.exe" build-win64/orvanti.exe
cp -r build/data "$stage/data"
rm -f "$stage/data/.generated"
cp README.md "$stage/"
for dir in "$ORVANTI_WIN64_PREFIX"/share/licenses/*/; do
  cp -r "$dir" "$stage/licenses/"
done
# The C and C++ runtimes and the threads library of the compiler are linked in too.
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64-runtime.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime.txt"
cp "$ORVANTI_WIN64_PREFIX/VERSIONS" "$stage/licenses/versions.txt"
(cd build-win64 && zip -qr -X orvanti-win64.zip orvanti-win64)
echo "build-win64/orvanti-win64.zip: $(stat -c %s build-win64/orvanti-win64.zip) bytes"

if [ "$test" = 1 ]; then
  tests/windows/wine_test.sh build build-win64
fi
