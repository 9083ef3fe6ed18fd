#!/usr/bin/env bash
# Installs the Debian packages the build, the show, the tests and the fuzzers need, and only
# those missing.
#   tools/deps.sh            for the Linux build and its tests
#   tools/deps.sh windows    also for the Windows program (tools/windows.sh) and its tests
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libfltk1.3-dev libvorbis-dev libsamplerate0-dev libjpeg62-turbo-dev libdeflate-dev
  # The display start-up asks a Wayland compositor whether it has a seat before SDL may use it.
  libwayland-dev
  # The tests read back written PNG files with libpng; the PNG benchmark weighs it too.
  libpng-dev
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl1 libegl-mesa0
  libfreetype-dev fonts-dejavu-core fonts-dejavu-extra
  # The command line's parser: one header, so a cross build for Windows can use it as it is.
  libcxxopts-dev
  # FLTK's CMake package names its form designer among its targets and fails without it.
  fluid
  libgtest-dev libgmock-dev libbenchmark-dev
  # Only bench/png_bench.cpp uses it, to weigh it against libpng.
  libspng-dev
  xvfb xauth xdotool ffmpeg
  # The Debian package (dpkg-shlibdeps computes its dependencies) and the checks of the package,
  # the manual page and the desktop entry.
  dpkg-dev lintian man-db groff-base bsdextrautils desktop-file-utils
  # The Wayland test runs the show under a compositor of its own.
  weston
  # The sound server's client library for the music's output; the daemon and pactl for its tests.
  libpulse-dev pulseaudio pulseaudio-utils
  clang libclang-rt-14-dev clang-format
)
if [ "${1:-}" = windows ]; then
  PACKAGES+=(
    # The cross compiler with POSIX threads, and what the libraries' sources need beside it
    # (apt-get source unpacks them with dpkg-dev's dpkg-source, above): libjpeg-turbo's fast
    # paths are assembled by nasm. zip packs the program.
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix nasm zip
    # Wine runs the program in the tests, on Mesa, with its fonts and X extensions; PulseAudio
    # with a null sink gives it a sound output.
    wine wine64 fonts-wine libgl1 libxrandr2 libxcursor1 libxi6 libxinerama1 libxrender1
    libxxf86vm1 libxcomposite1 libxfixes3 pulseaudio pulseaudio-utils
  )
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
