#!/usr/bin/env bash
# Builds the libraries of the Windows program (SDL2, libogg, libvorbis, libjpeg-turbo,
# libsamplerate, libdeflate) from Debian's source packages with MinGW-w64, as static libraries,
# into a prefix outside the clone, and prints the prefix's path. The prefix is named after the
# source versions, the compiler and this recipe, so later runs (and CI on the same machine) reuse
# it; a new version of any of them builds a new one.
#   tools/windows/libs.sh            the prefix, built if it is not there yet
# The sources come through apt-get source with a source list of our own: the machine's package
# sources are never touched. ORVANTI_WIN64_CACHE overrides where the prefixes are kept.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/mingw-w64.cmake
cache=${ORVANTI_WIN64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvanti/win64}
packages=(libsdl2 libogg libvorbis libjpeg-turbo libsamplerate libdeflate)
mkdir -p "$cache/apt/lists/partial" "$cache/apt/cache" "$cache/apt/parts"
log() { echo "libs.sh: $*" >&2; }

# One builder at a time: a second run waits and then finds the prefix made.
exec 9>"$cache/lock"
flock 9

cat >"$cache/apt/sources.list" <<'EOF'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
EOF
apt_options=(
  -o "Dir::Etc::SourceList=$cache/apt/sources.list" -o "Dir::Etc::SourceParts=$cache/apt/parts"
  -o "Dir::State::Lists=$cache/apt/lists" -o "Dir::Cache=$cache/apt/cache"
  -o "APT::Sandbox::User=$(id -un)" -o "Debug::NoLocking=1"
)
# The index of source packages; without a network the last one fetched still names the versions.
if ! apt-get "${apt_options[@]}" -qq update >&2; then
  ls "$cache/apt/lists/"*Sources* >/dev/null 2>&1 || { log "cannot fetch the source index"; exit 1; }
  log "cannot refresh the source index; using the one fetched before"
fi

# name=version of each source package, as apt-get source will fetch it (named by its .dsc file,
# without the epoch).
versions=()
for package in "${packages[@]}"; do
  dsc=$(apt-get "${apt_options[@]}" -qq source --print-uris "$package" | awk '/\.dsc/ { print $2 }')
  [ -n "$dsc" ] || { log "no source package $package"; exit 1; }
  version=${dsc#"${package}_"}
  versions+=("$package=${version%.dsc}")
done
compiler=$(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix)
key=$( (printf '%s\n' "${versions[@]}" "gcc-mingw-w64-x86-64-posix=$compiler"
        cat "$0" "$toolchain") | sha256sum | cut -c1-16)
prefix=$cache/libs-$key
if [ -f "$prefix/VERSIONS" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
staging=$work/prefix
mkdir -p "$work/src" "$staging/lib/pkgconfig" "$staging/include"
export ORVANTI_WIN64_PREFIX=$staging
started=$SECONDS
(cd "$work/src" && apt-get "${apt_options[@]}" -qq source "${packages[@]}" >/dev/null 2>&1) ||
  { log "apt-get source failed"; exit 1; }
log "sources of ${versions[*]} in $((SECONDS - started)) s"

source_of() { find "$work/src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1; }

# A CMake project, static, installed into the staging prefix.
build_cmake() {
  local name=$1 source
  shift
  source=$(source_of "$name")
  local t=$SECONDS
  cmake -S "$source" -B "$work/build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$staging" -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_TESTING=OFF "$@" >"$work/$name.log" 2>&1 &&
    cmake --build "$work/build-$name" >>"$work/$name.log" 2>&1 &&
    cmake --install "$work/build-$name" >>"$work/$name.log" 2>&1 ||
    { tail -n 30 "$work/$name.log" >&2; log "$name failed"; exit 1; }
  log "$name in $((SECONDS - t)) s"
}

# Only what the show uses of SDL: video with OpenGL, events, timers, threads and sound.
build_cmake libsdl2 -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_RENDER=OFF \
  -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF \
  -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF -DSDL_RENDER_D3D=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF
build_cmake libogg -DINSTALL_DOCS=OFF
build_cmake libvorbis
build_cmake libjpeg-turbo -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON
build_cmake libsamplerate -DLIBSAMPLERATE_EXAMPLES=OFF

# libdeflate 1.14 builds with its own makefile; only the static library is wanted.
t=$SECONDS
deflate=$(source_of libdeflate)
make -C "$deflate" -j"$(nproc)" CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar \
  libdeflatestatic.lib >"$work/libdeflate.log" 2>&1 ||
  { tail -n 30 "$work/libdeflate.log" >&2; log "libdeflate failed"; exit 1; }
cp "$deflate/libdeflatestatic.lib" "$staging/lib/libdeflate.a"
cp "$deflate/libdeflate.h" "$staging/include/"
sed -e "s|@PREFIX@|$prefix|" -e "s|@LIBDIR@|$prefix/lib|" -e "s|@INCDIR@|$prefix/include|" \
  -e "s|@VERSION@|$(sed -n 's/^libdeflate=\([0-9.]*\).*/\1/p' <<<"${versions[5]}")|" \
  "$deflate/libdeflate.pc.in" >"$staging/lib/pkgconfig/libdeflate.pc"
log "libdeflate in $((SECONDS - t)) s"

# The licence texts go into the program's package, one folder for each source package.
rm -rf "$staging/share/licenses"
for package in "${packages[@]}"; do
  source=$(source_of "$package")
  mkdir -p "$staging/share/licenses/$package"
  for file in LICENSE.txt LICENSE.md COPYING README.ijg; do
    if [ -f "$source/$file" ]; then cp "$source/$file" "$staging/share/licenses/$package/"; fi
  done
done

# The prefix is used where it ends up: its pkg-config files name it.
grep -rlI "$staging" "$staging" | while read -r file; do
  sed -i "s|$staging|$prefix|g" "$file"
done
printf '%s\n' "${versions[@]}" "gcc-mingw-w64-x86-64-posix=$compiler" >"$staging/VERSIONS"
rm -rf "$prefix"
mv "$staging" "$prefix"
log "built in $((SECONDS - started)) s into $prefix"
echo "$prefix"
