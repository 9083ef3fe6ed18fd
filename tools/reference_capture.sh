#!/usr/bin/env bash
# Renders a fixed set of pictures and sound with a built tree, so that two builds can be compared
# byte for byte (a restructuring must not change one pixel or one sample):
#   tools/reference_capture.sh BUILD_DIR OUT_DIR
#   diff -r OUT_A OUT_B && echo identical
# OUT_DIR gets
#   - the contact sheet;
#   - three frames at each of 46 show times spread over every scene window at 640x480 (t*/), and
#     one frame at each of them at 800x600 (m800x600/) and 1024x768 (m1024x768/);
#   - three frames drawn at twice the size and averaged down (supersample2/);
#   - three frames at 640x534, the frame a 640-wide full screen on a 16:10 display draws off
#     screen and scales (the scaling itself is the driver's and is not compared);
#   - a short stretch as each video container (video.mp4 ...), kept as ffmpeg's per-frame
#     checksums of the decoded pictures and sound (*.framemd5): the encoders may lay the same
#     frames out differently in the file;
#   - the first 8 seconds of the music as mixed by the sound library.
# Pictures are kept as their decoded pixels (PPM, through ffmpeg), so that a change of PNG
# compression settings is not taken for a change of picture.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
rm -rf "$out"
mkdir -p "$out"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ORVANTI_NO_MESSAGE_BOX=1
orvanti() { "$build/orvanti" "$@" >/dev/null 2>&1; }
# capture PATH FROM PATTERNS [OPTIONS]: the frames from FROM to FROM + PATTERNS at 60 fps.
capture() {
  local path=$1 from=$2 length=$3
  shift 3
  orvanti --capture "$path" --from "$from" --to "$(awk "BEGIN { print $from + $length }")" \
    --fps 60 "$@"
}
orvanti --contact-sheet "$out/sheet.png"
# Every scene window, its fades and transitions, frames on and between the beat flashes.
times="0.0 0.5 0.76 3.0 3.27 5.5 5.8 6.0 7.0 9.0 9.5 10.5 11.0 13.0 13.5 13.8 13.9 14.0 15.0
       16.03 17.5 18.0 19.0 19.1 20.0 21.0 21.5 22.0 24.0 24.26 26.1 27.0 28.25 29.0 30.3 31.5
       32.3 32.4 32.5 33.5 33.6 34.5 35.7 36.0 37.0 39.0"
for t in $times; do
  capture "$out/t$t" "$t" 0.006 --mode 640x480
done
for mode in 800x600 1024x768; do
  for t in $times; do
    capture "$out/m$mode/t$t" "$t" 0.001 --mode "$mode"
  done
done
capture "$out/supersample2" 13.5 0.006 --mode 640x480 --supersample 2
capture "$out/scaled640x534" 24.0 0.006 --mode 640x534
for container in mp4 mkv mov webm; do
  capture "$out/video.$container" 29.0 0.0125 --mode 640x480
  ffmpeg -loglevel error -nostdin -i "$out/video.$container" -f framemd5 \
    "$out/video.$container.framemd5"
  rm "$out/video.$container"
done
find "$out" -name '*.png' | while read -r png; do
  ffmpeg -loglevel error -nostdin -i "$png" -f image2 -c:v ppm "${png%.png}.ppm" && rm "$png"
done
"$build/bench/bench_mix_dump" "$build/data/music.ogg" 8 >"$out/music.raw"
# The sums file exists (empty) while find runs, so leave it out or it lists itself at random.
find "$out" -type f ! -name SHA256SUMS | sort | xargs sha256sum | sed "s|$out/||" >"$out/SHA256SUMS"
echo "$(find "$out" -type f -name '*.ppm' | wc -l) pictures, $(find "$out" -name '*.framemd5' |
  wc -l) videos, $(stat -c %s "$out/music.raw") bytes of sound in $out"
