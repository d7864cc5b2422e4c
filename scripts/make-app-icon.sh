#!/usr/bin/env bash
# Renders the program's own icon, resources/app-icon/vantrel.svg, as the PNG files of the sizes
# that desktops look for in the hicolor theme. Run it only to change the icon: the build installs
# the PNG files and the SVG file as they are, and the program embeds the PNG files for its windows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh librsvg2-bin
dir=resources/app-icon
for size in 16 22 24 32 48 64 128 256 512; do
  rsvg-convert -w "$size" -h "$size" "$dir/vantrel.svg" -o "$dir/vantrel-$size.png"
done
echo "made $dir/vantrel-*.png"
