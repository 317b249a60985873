#!/bin/sh
# Renders the icon's PNG sizes from MAINICON.svg (needs rsvg-convert, package
# librsvg2-bin). The PNGs are kept in the repository, so building needs neither.
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" MAINICON.svg -o "MAINICON-$size.png"
done
