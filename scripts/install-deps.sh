#!/usr/bin/env bash
# Installs what Vantrel needs to build, run and test, from Debian 12's packages, and the further
# packages named on the command line (the picture scripts name theirs).
#   usage: scripts/install-deps.sh [package...]
set -euo pipefail
# sqlite3 (the shell) is the second program in the tests of two programs on one file, and the
# yardstick the import benchmark is measured against.
packages=(cmake g++ make qt6-base-dev libqt6sql6-sqlite libsqlite3-dev fonts-liberation sqlite3 "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
