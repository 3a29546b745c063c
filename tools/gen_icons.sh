#!/usr/bin/env bash
# Renders the program icon (res/icons/wrenlocator.svg) into the PNG sizes
# of the hicolor icon theme: res/icons/hicolor/<n>x<n>/apps/wrenlocator.png.
# Needs rsvg-convert (librsvg2-bin). The output is committed.
set -euo pipefail
cd "$(dirname "$0")/.."
svg=res/icons/wrenlocator.svg
for n in 16 22 24 32 48 64 128 256; do
  dir=res/icons/hicolor/${n}x${n}/apps
  mkdir -p "$dir"
  rsvg-convert --width "$n" --height "$n" "$svg" --output "$dir/wrenlocator.png"
done
