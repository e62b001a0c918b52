#!/usr/bin/env bash
# Renders the SVG sources of the window's images into the PNG files the resources hold, at 1x
# and 2x. Run it after changing a picture (needs rsvg-convert, Debian's librsvg2-bin); the PNG
# files are committed, so the window builds without a renderer. The desktop icons (quillon*.svg,
# application-x-quillon-project*.svg) are not rendered here but by the build, for the package
# (packaging/package.cmake).
set -euo pipefail
cd "$(dirname "$0")"
for svg in images/*.svg; do
    name=${svg%.svg}
    rsvg-convert -w 16 -h 16 "$svg" -o "$name-16.png"
    rsvg-convert -w 32 -h 32 "$svg" -o "$name-32.png"
done
rsvg-convert -w 128 -h 128 quillon.svg -o images/quillon-128.png
rsvg-convert -w 256 -h 256 quillon.svg -o images/quillon-256.png
