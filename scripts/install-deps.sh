#!/usr/bin/env bash
# Installs what Vantrel needs to build, run and test, from Debian 12's packages, and the further
# packages named on the command line (the picture scripts name theirs).
#   usage: scripts/install-deps.sh [package...]
set -euo pipefail
# sqlite3 (the shell) is the second program in the tests of two programs on one file, and the
# yardstick the import benchmark is measured against.
# The test of the installed tree runs the desktop's validators of the desktop entry
# (desktop-file-utils) and the metainfo (appstream), and groff on the man page; CPack's Debian
# package takes its dependencies from dpkg-shlibdeps (dpkg-dev), which looks at the files with file.
# A start that hands over to a running copy ends the desktop's start-up feedback itself, through xcb.
# The pipeline window draws its chart with Qt Charts; the test of the calendar export reads the
# file back with a real iCalendar parser (python3-icalendar). The team database is reached through
# libpq (libpq-dev); its tests start a throwaway server cluster of their own (postgresql-15).
packages=(cmake g++ make qt6-base-dev libqt6sql6-sqlite libsqlite3-dev fonts-liberation sqlite3
          desktop-file-utils appstream groff-base dpkg-dev file libxcb1-dev pkg-config qt6-charts-dev
          python3-icalendar libpq-dev postgresql-15 "$@")
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
