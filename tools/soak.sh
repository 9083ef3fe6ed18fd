#!/usr/bin/env bash
# Soak: runs the live show, looping and muted, on a virtual X display for MINUTES minutes,
# pressing the seek and hold keys at random, and samples the resident memory every 10 s.
# Fails when the memory after the first pass through the music rises more than 2 MB above the
# most it took during that pass, or when the program dies on its own. (The scenes allocate and
# free their arrays within a frame, so the resident size moves with the scene on screen; the
# whole first pass, every scene in it, is the measure.)
#   tools/soak.sh MINUTES [LOG]
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=${1:?usage: tools/soak.sh MINUTES [LOG]}
LOG=${2:-build/soak.log}
BINARY=build/orvanti
[ -x "$BINARY" ] || { echo "soak: $BINARY is missing; build first (./test.sh or ./run.sh)" >&2; exit 1; }

if [ -z "${SOAK_INSIDE_X:-}" ]; then
  export SOAK_INSIDE_X=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
"$BINARY" --no-setup --windowed --loop --mute --mode 640x480 2>"$LOG.stderr" &
PID=$!
trap 'kill $PID 2>/dev/null || true' EXIT

# One pass: the music (303.36 s of show plus its tail) after the precalculation and the pause.
FIRST_PASS=330
END=$(( $(date +%s) + MINUTES * 60 ))
START=$(date +%s)
WINDOW=""
BASELINE=""
SECOND_PASS=""
PEAK=0
echo "seconds rss_kb" >"$LOG"
KEYS=(Prior Next Home Pause Pause)
while [ "$(date +%s)" -lt "$END" ]; do
  if ! kill -0 $PID 2>/dev/null; then
    wait $PID && status=0 || status=$?
    echo "soak: the show ended on its own (status $status)" >&2
    cat "$LOG.stderr" >&2
    exit 1
  fi
  [ -n "$WINDOW" ] || WINDOW=$(xdotool search --name "^Orvanti by Droblin$" 2>/dev/null | head -1 || true)
  if [ -n "$WINDOW" ] && [ $((RANDOM % 3)) -eq 0 ]; then
    xdotool key --window "$WINDOW" "${KEYS[$((RANDOM % ${#KEYS[@]}))]}" 2>/dev/null || true
  fi
  rss=$(awk '/^VmRSS/ {print $2}' /proc/$PID/status)
  now=$(( $(date +%s) - START ))
  echo "$now $rss" >>"$LOG"
  if [ "$now" -lt "$FIRST_PASS" ]; then
    [ "$now" -lt 10 ] || [ "$rss" -le "${BASELINE:-0}" ] || BASELINE=$rss
  else
    SECOND_PASS=1
    [ "$rss" -gt "$PEAK" ] && PEAK=$rss
  fi
  sleep 10
done

kill $PID
wait $PID 2>/dev/null || true
trap - EXIT
if [ -z "$SECOND_PASS" ] || [ -z "$BASELINE" ]; then
  echo "soak: ran $MINUTES min, too short to pass the first loop ($FIRST_PASS s); no verdict" >&2
  exit 1
fi
GROWTH=$(( PEAK - BASELINE ))
echo "soak: at most ${BASELINE} kB during the first pass, at most ${PEAK} kB after it, growth ${GROWTH} kB (log: $LOG)"
if [ "$GROWTH" -gt 2048 ]; then
  echo "soak: resident memory grew by more than 2 MB" >&2
  exit 1
fi
