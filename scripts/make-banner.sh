#!/usr/bin/env bash
# Draws the banner of the help and about windows (385 by 94 pixels) into resources/banner.png:
# the product name with its edition and the ownership notice. Run it only to change the banner:
# the program embeds the PNG file.
#   apt-get install imagemagick fonts-liberation
set -euo pipefail
cd "$(dirname "$0")/.."
fonts=/usr/share/fonts/truetype/liberation
convert -size 385x94 gradient:'#1c3253-#3f77a0' \
  -fill '#f2b705' -draw 'rectangle 0,0 5,93' \
  -fill white -font "$fonts/LiberationSans-Bold.ttf" -pointsize 30 -annotate +20+40 'Vantrel' \
  -font "$fonts/LiberationSans-Regular.ttf" -pointsize 20 -annotate +128+40 '(Belcarre)' \
  -fill '#dce8f2' -pointsize 12 -annotate +21+60 'Belcarre edition: people, tactics and follow-ups for salespeople' \
  -fill '#b9cde0' -pointsize 10 -annotate +21+82 'Copyright © 2026 The Vantrel developers. All rights reserved.' \
  -strip PNG24:resources/banner.png
echo "made resources/banner.png"
