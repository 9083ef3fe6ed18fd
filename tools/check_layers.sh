#!/usr/bin/env bash
# Every #include of a project header points down the layer order:
#   support, diagnostics <- render, music <- texture <- effects <- precalc <- show <- app
# A folder includes its own headers and those of folders before it, never a sibling's or one
# above, and show/ includes no OpenGL header. Prints each such include and fails if there is any.
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
[ "$upward" -eq 0 ] || { echo "$upward includes against the layer order" >&2; exit 1; }
echo "no upward includes, no OpenGL header in show/"
