#!/usr/bin/env bash
# The Windows program under Wine (wine64, on Mesa) and a private Xvfb display:
#   - the exit statuses of --help, an unknown option and a missing data file (named in the message);
#   - one-frame captures at 14 show times over all eleven scenes, and the contact sheet, against
#     the Linux program's: identical, or within 1 level of mean absolute difference with no
#     visible difference (at most 0.1 % of the pixels off by more than 16 levels);
#   - data and frames under names outside ASCII;
#   - the setup dialog (a screenshot), Enter running the show, Escape ending it with 0;
#   - a live windowed --mute run drawing lit frames, Escape ending it with 0;
#   - the ffmpeg pipe: a stand-in ffmpeg.exe receives every byte of a short capture, and one that
#     stops early gives the capture's fatal error instead of a hang;
#   - a short run with sound through a PulseAudio null sink, ending with the music by itself.
# Screenshots, frames and the comparison table are kept in WINDOWS_BUILD/wine-test/.
#   tests/windows/wine_test.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 LINUX_BUILD WINDOWS_BUILD" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
exe=$windows/orvanti-win64/orvanti.exe
[ -x "$linux/orvanti" ] && [ -f "$exe" ] || { echo "wine_test.sh: build both programs first" >&2; exit 2; }
out=$windows/wine-test
rm -rf "$out"
mkdir -p "$out"
run=$(mktemp -d)
failures=0

# Wine's own prefix, made once per build folder; its server and Xvfb are ours and end with us.
export WINEPREFIX=$windows/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8 ORVANTI_NO_MESSAGE_BOX=1
unset SDL_VIDEODRIVER SDL_AUDIODRIVER PULSE_SERVER WINEPATH
pids=()
cleanup() {
  wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$run"
}
trap cleanup EXIT
display_file=$run/display
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display_file" 2>/dev/null &
pids+=($!)
for _ in $(seq 200); do
  [ -s "$display_file" ] && break
  sleep 0.05
done
[ -s "$display_file" ] || { echo "wine_test.sh: Xvfb gave no display" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$display_file")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  # Wine draws the windows' frames and captions itself (there is no window manager).
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
fi

pass() { echo "ok    $*"; }
fail() {
  echo "FAIL  $*"
  failures=$((failures + 1))
}
# A Unix path as the program sees it (drive Z: is the root).
windows_path() { local p=$1; echo "Z:${p//\//\\}"; }
# Runs the Windows program (at most 120 s) with its output in $run/out and $run/err; prints its
# exit status.
win() {
  local status=0
  timeout 120 wine "$exe" "$@" >"$run/out" 2>"$run/err" || status=$?
  echo "$status"
}

# --- command line and data files -----------------------------------------------------------------
status=$(win --help)
[ "$status" = 0 ] && pass "--help exits 0" || fail "--help exits $status"
status=$(win --no-such-option)
[ "$status" = 2 ] && grep -q -- "--no-such-option" "$run/err" && pass "an unknown option exits 2" ||
  fail "an unknown option exits $status: $(cat "$run/err")"
cp -r "$(dirname "$exe")/data" "$run/partial-data"
rm "$run/partial-data/glow.jpg"
status=$(win --data "$(windows_path "$run/partial-data")" --contact-sheet "$(windows_path "$run/x.png")")
[ "$status" = 1 ] && grep -q "glow.jpg" "$run/err" &&
  pass "a missing data file exits 1: $(grep glow.jpg "$run/err" | head -n 1 | tr -d '\r')" ||
  fail "a missing data file exits $status: $(cat "$run/err")"

# --- pictures against the Linux program's --------------------------------------------------------
# Prints "identical", or the mean absolute difference over all channel values, the largest one and
# the pixels off by more than 16 levels; fails past 1 level of mean or 0.1 % of visible pixels.
compare_pictures() {
  ffmpeg -loglevel error -nostdin -i "$1" -f rawvideo -pix_fmt rgb24 - >"$run/a.rgb"
  ffmpeg -loglevel error -nostdin -i "$2" -f rawvideo -pix_fmt rgb24 - >"$run/b.rgb"
  if cmp -s "$run/a.rgb" "$run/b.rgb"; then
    echo identical
    return 0
  fi
  local bytes
  bytes=$(stat -c %s "$run/a.rgb")
  [ "$bytes" = "$(stat -c %s "$run/b.rgb")" ] || { echo "different sizes"; return 1; }
  { cmp -l "$run/a.rgb" "$run/b.rgb" || true; } | awk -v n="$bytes" '
    function octal(s, v, i) { v = 0; for (i = 1; i <= length(s); i++) v = v * 8 + substr(s, i, 1); return v }
    { d = octal($2) - octal($3); if (d < 0) d = -d; sum += d; if (d > max) max = d
      p = int(($1 - 1) / 3); if (d > 16 && !(p in seen)) { seen[p] = 1; visible++ } }
    END { mae = sum / n; share = 100 * visible / (n / 3)
          printf "mean %.4f, largest %d, %d pixels (%.3f %%) off by more than 16\n", mae, max, visible, share
          exit (mae <= 1 && share <= 0.1) ? 0 : 1 }'
}

echo "show time  scene  Windows against Linux (640x480)" >"$out/frames.txt"
for entry in 0.76:1 3.27:1 7.0:2 11.0:3 13.9:4 16.03:5 19.1:6 21.0:7 24.26:8 30.3:9 32.4:4 \
             33.6:10 36.0:11 39.0:4; do
  t=${entry%:*}
  to=$(awk "BEGIN { print $t + 0.001 }")
  SDL_VIDEODRIVER=offscreen "$linux/orvanti" --capture "$run/linux-$t" --from "$t" --to "$to" \
    --mode 640x480 >/dev/null 2>&1
  status=$(win --capture "$(windows_path "$out/frame-$t")" --from "$t" --to "$to" --mode 640x480)
  if [ "$status" != 0 ] || [ ! -f "$out/frame-$t/000000.png" ]; then
    fail "capture at $t exits $status: $(tail -n 3 "$run/err")"
    continue
  fi
  if result=$(compare_pictures "$run/linux-$t/000000.png" "$out/frame-$t/000000.png"); then
    pass "frame at $t (scene ${entry#*:}): $result"
  else
    fail "frame at $t (scene ${entry#*:}): $result"
  fi
  printf '%-10s %-6s %s\n' "$t" "${entry#*:}" "$result" >>"$out/frames.txt"
done
SDL_VIDEODRIVER=offscreen "$linux/orvanti" --contact-sheet "$run/sheet-linux.png" >/dev/null 2>&1
status=$(win --contact-sheet "$(windows_path "$out/sheet.png")")
if [ "$status" = 0 ] && result=$(compare_pictures "$run/sheet-linux.png" "$out/sheet.png"); then
  pass "contact sheet: $result"
else
  fail "contact sheet (status $status): ${result:-$(tail -n 3 "$run/err")}"
fi
printf '%-10s %-6s %s\n' "sheet" "all" "${result:-}" >>"$out/frames.txt"

# Data read from, and frames written to, folders named outside ASCII.
data_utf8="$run/dätä 日本"
frames_utf8="$run/bilder ø"
cp -r "$(dirname "$exe")/data" "$data_utf8"
status=$(win --data "$(windows_path "$data_utf8")" --capture "$(windows_path "$frames_utf8")" \
         --from 10 --to 10.001)
[ "$status" = 0 ] && [ -f "$frames_utf8/000000.png" ] && pass "UTF-8 names of data and frames" ||
  fail "UTF-8 names (status $status): $(tail -n 3 "$run/err")"

# --- windows on the display --------------------------------------------------------------------
# Waits for a window of this exact name; prints its id.
wait_window() {
  local id=""
  for _ in $(seq 120); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.5
  done
  echo "$id"
}
# The part of the window on the screen (a window at the origin has its frame above and left of
# it) as a PNG file.
screenshot() {
  local geometry x y width height
  geometry=$(xdotool getwindowgeometry --shell "$1" 2>/dev/null) || return 0
  x=$(sed -n 's/^X=//p' <<<"$geometry")
  y=$(sed -n 's/^Y=//p' <<<"$geometry")
  width=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
  height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  [ "$x" -ge 0 ] || { width=$((width + x)); x=0; }
  [ "$y" -ge 0 ] || { height=$((height + y)); y=0; }
  xdotool mousemove 1279 1023 2>/dev/null || true
  ffmpeg -loglevel error -nostdin -y -f x11grab -video_size "${width}x${height}" \
    -i "$DISPLAY+$x,$y" -frames:v 1 "$2" || true
}
# The mean brightness (0 to 255) of a picture; 0 when there is none.
brightness() {
  [ -f "$1" ] || { echo 0; return; }
  ffmpeg -loglevel error -nostdin -i "$1" -f rawvideo -pix_fmt gray - |
    od -An -v -tu1 | awk '{ for (i = 1; i <= NF; i++) { s += $i; n++ } } END { printf "%d", n ? s / n : 0 }'
}
# Gives the window of this name the focus and presses the key (looked up afresh: Wine may have
# made its X window again since it was first found).
send_key() {
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] && xdotool windowfocus --sync "$id" 2>/dev/null || true
  xdotool key "$2" 2>/dev/null || true
}
# Sends a key to the window of this name and waits at most 30 s for the program to end; its exit
# status, or "still running", goes to $ended.
ended=""
press_and_wait() {
  local name=$1 key=$2 pid=$3
  send_key "$name" "$key"
  for _ in $(seq 60); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    ended="still running"
  else
    ended=0
    wait "$pid" || ended=$?
  fi
}

wine "$exe" --mute --start 16 >"$run/dialog.out" 2>&1 &
pid=$!
dialog=$(wait_window MOXI)
if [ -n "$dialog" ]; then
  sleep 1
  screenshot "$dialog" "$out/dialog.png"
  pass "the setup dialog opens ($(xdotool getwindowgeometry "$dialog" | sed -n 's/.*Geometry: //p'), $out/dialog.png)"
  send_key MOXI Return
  show=$(wait_window "Orvanti by Droblin")
  if [ -n "$show" ]; then
    sleep 8   # the precalculation, the black pause, then the show
    screenshot "$show" "$out/dialog-show.png"
    level=$(brightness "$out/dialog-show.png")
    [ "$level" -gt 8 ] && pass "Enter runs the show (mean brightness $level)" ||
      fail "Enter runs the show, but its picture is dark (mean brightness $level)"
    press_and_wait "Orvanti by Droblin" Escape "$pid"
    [ "$ended" = 0 ] && pass "Escape ends the show from the dialog with 0" || fail "Escape: $ended"
  else
    fail "Enter in the dialog opened no show window"
    kill "$pid" 2>/dev/null || true
  fi
else
  fail "the setup dialog did not open: $(tail -n 3 "$run/dialog.out")"
  kill "$pid" 2>/dev/null || true
fi

wine "$exe" --no-setup --windowed --mute --mode 640x480 --start 16 >"$run/live.out" 2>&1 &
pid=$!
show=$(wait_window "Orvanti by Droblin")
if [ -n "$show" ]; then
  sleep 8
  screenshot "$show" "$out/live-1.png"
  sleep 1
  screenshot "$show" "$out/live-2.png"
  level=$(brightness "$out/live-1.png")
  moving=$(cmp -s "$out/live-1.png" "$out/live-2.png" && echo still || echo moving)
  [ "$level" -gt 8 ] && [ "$moving" = moving ] &&
    pass "a live windowed --mute run draws lit frames (mean brightness $level, $moving)" ||
    fail "a live windowed --mute run: mean brightness $level, $moving"
  press_and_wait "Orvanti by Droblin" Escape "$pid"
  [ "$ended" = 0 ] && pass "Escape ends the live run with 0" || fail "Escape: $ended"
else
  fail "the live run opened no window: $(tail -n 3 "$run/live.out")"
  kill "$pid" 2>/dev/null || true
fi

# --- the ffmpeg pipe ---------------------------------------------------------------------------
mkdir -p "$run/bin"
x86_64-w64-mingw32-g++-posix -O2 -static -o "$run/bin/ffmpeg.exe" "$here/ffmpeg_stand_in.cpp"
export WINEPATH
WINEPATH=$(windows_path "$run/bin")
status=$(win --capture "$(windows_path "$run/pipe.mp4")" --from 10 --to 10.1)
frames=$(tr '\r' '\n' <"$run/out" | sed -n 's|^frame \([0-9]*\)/\1 .*|\1|p' | tail -n 1)
expected=$((${frames:-0} * 640 * 480 * 3 / 2))
got=$(tr -d '\r\n' <"$run/pipe.mp4" 2>/dev/null || echo none)
[ "$status" = 0 ] && [ "$frames" -gt 0 ] && [ "$got" = "$expected" ] &&
  pass "the stand-in ffmpeg got every byte: $got for $frames frames" ||
  fail "the stand-in ffmpeg got $got bytes, not $expected (status $status: $(tail -n 2 "$run/err"))"
started=$SECONDS
status=$(STAND_IN_STOP_AFTER=1000000 win --capture "$(windows_path "$run/stop.mp4")" --from 10 --to 11)
message=$(grep -m 1 "ffmpeg" "$run/err" | tr -d '\r' || true)
[ "$status" = 1 ] && [ -n "$message" ] &&
  pass "a stand-in that stops early ends the capture in $((SECONDS - started)) s: $message" ||
  fail "a stand-in that stops early: status $status after $((SECONDS - started)) s: $(tail -n 2 "$run/err")"
unset WINEPATH

# --- sound -------------------------------------------------------------------------------------
pulse=$run/pulse
mkdir -p "$pulse"
if command -v pulseaudio >/dev/null && command -v parec >/dev/null; then
  XDG_RUNTIME_DIR=$pulse HOME=$pulse pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --disallow-exit --use-pid-file=no --load="module-native-protocol-unix socket=$pulse/native" \
    --load="module-null-sink sink_name=show" --load="module-always-sink" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [ -S "$pulse/native" ] && break
    sleep 0.1
  done
fi
if [ -S "$pulse/native" ]; then
  export PULSE_SERVER=unix:$pulse/native
  parec --device=show.monitor --format=s16le --rate=44100 --channels=2 >"$run/heard.raw" &
  recorder=$!
  pids+=($recorder)
  started=$SECONDS
  # 0.8 patterns before the music's end: about 6 s of its fading tail, then the program ends by
  # itself.
  status=$(win --no-setup --windowed --start 40.2)
  sleep 0.5
  kill "$recorder" 2>/dev/null || true
  loud=$(od -An -v -td2 -w2 "$run/heard.raw" | awk '{ v = $1 < 0 ? -$1 : $1; if (v > 256) n++ } END { print n + 0 }')
  [ "$status" = 0 ] && [ "$loud" -gt 88200 ] &&
    pass "a run with sound played ($(awk "BEGIN { printf \"%.1f\", $loud / 88200 }") s above -42 dB on the null sink) and ended by itself in $((SECONDS - started)) s" ||
    fail "a run with sound: status $status, $loud loud samples: $(tail -n 2 "$run/err")"
  unset PULSE_SERVER
else
  echo "skip  no sound output for Wine (PulseAudio did not start)"
fi

echo
cat "$out/frames.txt"
if [ "$failures" -gt 0 ]; then
  echo "$failures Windows tests failed" >&2
  exit 1
fi
echo "all Windows tests passed ($out)"
