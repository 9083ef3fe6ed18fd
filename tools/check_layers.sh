#!/usr/bin/env bash
# Every #include of a project header points down the layer order:
#   support, diagnostics <- render, music <- texture <- effects <- precalc <- show <- app
# A folder includes its own headers and those of folders before it, never a sibling's or one
# above, and show/ includes no OpenGL header. Also: render/'s frame record (the sizes, the
# render-target size, the clamp mode, the full-window clears) is written only by render/ and its
# own tests, and app/ makes OpenGL calls only in the display start-up (display.cpp,
# capabilities.cpp). Prints each offence and fails if there is any.
#   tools/check_layers.sh [ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
rank() {
  case "$1" in
    support | diagnostics) echo 0 ;; render | music) echo 1 ;; texture) echo 2 ;;
    effects) echo 3 ;; precalc) echo 4 ;; show) echo 5 ;; app) echo 6 ;; *) echo -1 ;;
  esac
}
upward=0
for folder in support diagnostics render music texture effects precalc show app; do
  own=$(rank "$folder")
  while IFS= read -r line; do
    included=$(sed -E 's/.*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"${line#*:*:}")
    top=${included%%/*}
    [ "$top" = "$included" ] || [ "$top" = "$folder" ] && continue
    theirs=$(rank "$top")
    if [ "$theirs" -ge 0 ] && [ "$theirs" -ge "$own" ]; then
      echo "upward include: $line"
      upward=$((upward + 1))
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$folder" \
             --include='*.cpp' --include='*.h' || true)
done
# The scenes draw through the renderer and the effects, never with OpenGL themselves.
while IFS= read -r line; do
  echo "OpenGL in show/: $line"
  upward=$((upward + 1))
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+[<"](render/gl\.h|GL/|SDL_opengl)' show \
           --include='*.cpp' --include='*.h' || true)
# The frame record changes through render/'s calls only.
while IFS= read -r line; do
  echo "frame record written outside render/: $line"
  upward=$((upward + 1))
done < <(grep -rnE '\b(renderTargetWidth|renderTargetHeight|clampWrapMode|fullWindowClears)[[:space:]]*([-+*/|&]?=[^=]|\+\+|--)|(\+\+|--)[[:space:]]*(renderTargetWidth|renderTargetHeight|clampWrapMode|renderPresets)|\bframeRecord\.[a-zA-Z]+[[:space:]]*([-+*/|&]?=[^=]|\+\+|--)|const_cast<[^>]*FrameRecord' \
           support diagnostics music texture effects precalc show app tests bench fuzz tools \
           --include='*.cpp' --include='*.h' | grep -v '^tests/render/' || true)
# OpenGL in app/: the window's context and its checks, nothing else.
gl_start_up='^app/(display|capabilities)\.cpp:'
while IFS= read -r line; do
  echo "OpenGL in app/ outside the display start-up: $line"
  upward=$((upward + 1))
done < <(grep -rnE '\bglu?[A-Z][A-Za-z0-9]*[[:space:]]*\(|\bglext\.|^[[:space:]]*#[[:space:]]*include[[:space:]]+[<"](render/gl\.h|GL/|SDL_opengl)' app \
           --include='*.cpp' --include='*.h' | grep -vE "$gl_start_up" || true)
[ "$upward" -eq 0 ] || { echo "$upward offences against the layer order" >&2; exit 1; }
echo "no upward includes, no OpenGL header in show/, the frame record written in render/ only," \
  "no OpenGL in app/ outside the display start-up"
