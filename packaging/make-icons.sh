#!/usr/bin/env bash
# Makes the desktop icons in packaging/icons/ from the window's icon
# (window/icon.png, 32x32): PNGs for the hicolor sizes, scaled up pixel for
# pixel so they stay sharp, and an SVG with one square per pixel. Run it
# again after the icon changes and commit the result; needs ImageMagick.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SRC="$ROOT/window/icon.png"
OUT="$ROOT/packaging/icons"
mkdir -p "$OUT"
for size in 32 48 64 128 256; do
  convert "$SRC" -filter point -resize "${size}x${size}" -strip "PNG32:$OUT/tarvo-config-updater-$size.png"
done
{
  echo '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32" shape-rendering="crispEdges">'
  convert "$SRC" txt:- | awk 'NR > 1 {
      split($1, xy, /[,:]/); split($2, c, /[(),]/)
      if (c[5] + 0 == 0) next
      printf "<rect x=\"%d\" y=\"%d\" width=\"1\" height=\"1\" fill=\"rgb(%d,%d,%d)\"", xy[1], xy[2], c[2], c[3], c[4]
      if (c[5] + 0 < 255) printf " fill-opacity=\"%.3f\"", c[5] / 255
      print "/>"
    }'
  echo '</svg>'
} > "$OUT/tarvo-config-updater.svg"
