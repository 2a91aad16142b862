#!/bin/sh
# Renders siteharvest.svg into the PNG sizes that are committed beside it (rsvg-convert,
# Debian package librsvg2-bin). Run it after changing the drawing, and commit the PNGs.
set -eu
cd "$(dirname "$0")"
for size in 48 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert --width "$size" --height "$size" siteharvest.svg \
        --output "${size}x${size}/siteharvest.png"
done
