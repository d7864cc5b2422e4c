#!/usr/bin/env bash
# Remakes every picture of a window: the help pages' (resources/help/pictures/) and the README's
# (docs/), from the program in build/bin. Run it after changing a window, look at the pictures,
# and commit them with the change.
#   usage: scripts/make-pictures.sh [display]   (default :99)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/make-help-pictures.sh "${1:-:99}"
scripts/make-screenshots.sh "${1:-:99}"
