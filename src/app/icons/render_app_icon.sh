#!/bin/sh
# Renders the program icon's PNGs from its two drawings: quorvane-small.svg for 16 to 24
# pixels, quorvane.svg above. The PNGs are committed, so that building needs no SVG renderer;
# run this after changing a drawing (rsvg-convert comes with Debian's librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for size in 16 22 24; do
  rsvg-convert -w "$size" -h "$size" quorvane-small.svg -o "quorvane-$size.png"
done
for size in 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" quorvane.svg -o "quorvane-$size.png"
done
