#!/usr/bin/env bash
# The program as installed: `cmake --install` into a prefix that is then moved, and the Debian
# package unpacked with dpkg-deb; each copy, with the build tree hidden from it, renders the same
# bytes as the build tree's program. Also the manual page against --help, and the desktop entry.
#   tests/install/install_test.sh CASE BUILD_DIR
#   CASE: installed-copies | manual-page | desktop-entry
set -euo pipefail
case_name=$1
build=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# Without links in it: the program names the places it looked as its resolved path gives them.
work=$(cd "$(mktemp -d "${TMPDIR:-/tmp}/orvanti-install.XXXXXX")" && pwd -P)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Runs a command with the build tree out of its reach (an empty directory mounted over it in a
# private mount namespace), so that an installed copy cannot lean on it unseen.
hidden() {
  if unshare --map-root-user --mount true 2>/dev/null; then
    unshare --map-root-user --mount sh -c 'mount -t tmpfs none "$0" && exec "$@"' "$build" "$@"
  else
    echo "note: no private mount namespace here; the build tree stays visible" >&2
    "$@"
  fi
}

# A one-frame capture and the contact sheet from PROGRAM into DIR.
render() {
  mkdir -p "$2"
  "$1" --capture "$2/frames" --from 20 --to 20.001 >/dev/null 2>"$2/log" &&
    "$1" --contact-sheet "$2/sheet.png" >/dev/null 2>>"$2/log" ||
    { cat "$2/log" >&2; return 1; }
}

same_pictures() {
  for f in frames/000000.png sheet.png; do
    cmp -s "$work/reference/$f" "$1/$f" || fail "$2: $f differs from the build tree's"
  done
}

installed_copies() {
  if [ ! -f "$build/data/music.ogg" ]; then
    echo "[  SKIPPED ] no data set built"
    return
  fi
  # What is installed and packaged is the plain build; the sanitizer builds test the code.
  if grep -qE '^ORVANTI_(SANITIZE|TSAN):BOOL=ON' "$build/CMakeCache.txt"; then
    echo "[  SKIPPED ] a sanitizer build is not what gets installed"
    return
  fi
  render "$build/orvanti" "$work/reference" || fail "the build tree's program did not render"

  # Installed, then moved as a whole: the program finds its data from where it now lies.
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  mv "$work/prefix" "$work/moved"
  hidden bash -c "$(declare -f render); render '$work/moved/bin/orvanti' '$work/moved-out'" ||
    fail "the moved copy did not render"
  same_pictures "$work/moved-out" "moved prefix"

  # Without its data the message names every place looked.
  mkdir "$work/bare" && cp "$work/moved/bin/orvanti" "$work/bare/"
  status=0
  err=$("$work/bare/orvanti" --contact-sheet "$work/bare/s.png" 2>&1 >/dev/null) || status=$?
  [ "$status" = 1 ] || fail "no data: status $status, not 1"
  for place in "$work/bare/data/" "$work/share/orvanti/data/"; do
    [[ $err == *"$place"* ]] || fail "no data: the message does not name $place: $err"
  done

  # The package: built from the same tree, it holds exactly these files.
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null
  deb=$(ls "$work"/pkg/orvanti_*_amd64.deb)
  (
    echo usr/bin/orvanti
    for f in "$build"/data/*; do echo "usr/share/orvanti/data/${f##*/}"; done
    echo usr/share/applications/orvanti.desktop
    for s in 16 22 24 32 48 64 128 256; do echo "usr/share/icons/hicolor/${s}x$s/apps/orvanti.png"; done
    echo usr/share/man/man6/orvanti.6.gz
    printf 'usr/share/doc/orvanti/%s\n' copyright README.md changelog.gz
  ) | sort >"$work/expected"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort >"$work/listed"
  diff "$work/expected" "$work/listed" >&2 || fail "the package's file list (- expected, + held)"
  for field in Depends Recommends Description Section Priority; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "the package has no $field"
  done
  [[ $(dpkg-deb -f "$deb" Recommends) == *ffmpeg* ]] || fail "ffmpeg is not recommended"
  # Computed from the program's own links, and the OpenGL libraries SDL2 opens by name.
  for library in libsdl2 libvorbisfile3 libgl1 libegl1; do
    [[ $(dpkg-deb -f "$deb" Depends) == *"$library"* ]] || fail "the package does not depend on $library"
  done
  lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"

  # Unpacked into a root of its own, its program renders the same.
  dpkg-deb -x "$deb" "$work/root"
  hidden bash -c "$(declare -f render); render '$work/root/usr/bin/orvanti' '$work/root-out'" ||
    fail "the unpacked package's program did not render"
  same_pictures "$work/root-out" "unpacked package"
}

# The options a text names: --long ones, and short ones standing alone (-h, -q).
options_of() {
  grep -oE -- '(^|[^[:alnum:]-])-(-[a-z0-9][a-z0-9-]*|[A-Za-z])([^[:alnum:]-]|$)' |
    grep -oE -- '-(-[a-z0-9][a-z0-9-]*|[A-Za-z])' | sort -u
}

manual_page() {
  page=$build/dist/orvanti.6
  # man's own check, as lintian runs it: any warning of the formatter fails.
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns: $warnings"
  # One long line a paragraph and no hyphenation, so that no option name is split.
  LC_ALL=C MANWIDTH=1000 MANROFFOPT=-rHY=0 man -l "$page" 2>/dev/null | col -bx >"$work/page"
  grep -q "EXIT STATUS" "$work/page" || fail "the page did not render"
  "$build/orvanti" --help | options_of >"$work/help-options"
  # The OPTIONS section; the rest of the page may name other programs' options.
  awk '/^[A-Z]/ { on = $0 == "OPTIONS" } on' "$work/page" | options_of >"$work/page-options"
  [ -s "$work/help-options" ] || fail "--help lists no options"
  diff "$work/help-options" "$work/page-options" >&2 ||
    fail "the page's OPTIONS differ from --help's (- only in --help, + only in the page)"
  for section in OPTIONS KEYS "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^$section" "$work/page" || fail "the page has no $section section"
  done
}

desktop_entry() {
  entry=$source_dir/dist/orvanti.desktop
  desktop-file-validate "$entry" >&2 || fail "desktop-file-validate rejects the entry"
  # The plain program, so that the setup dialog comes first; the icon the build makes.
  grep -qx 'Exec=orvanti' "$entry" || fail "the entry does not start the plain program"
  grep -qx 'Icon=orvanti' "$entry" || fail "the entry's icon is not the installed one"
  for s in 16 48 256; do
    png=$build/icons/hicolor/${s}x$s/apps/orvanti.png
    size=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3 * 256 + $4 "x" $7 * 256 + $8}')
    [ "$size" = "${s}x$s" ] || fail "$png: $size, not ${s}x$s"
  done
}

case "$case_name" in
  installed-copies) installed_copies ;;
  manual-page) manual_page ;;
  desktop-entry) desktop_entry ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
[ "$failures" = 0 ] && echo "$case_name: passed"
exit $((failures > 0))
