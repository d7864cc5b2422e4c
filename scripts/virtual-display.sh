# shellcheck shell=bash
# Sourced by the picture scripts (make-help-pictures.sh, make-screenshots.sh): installs what they
# need, starts a virtual display and the built program on it in a folder of its own, and gives the
# steps they take. Nothing here waits for a person: a window that does not come ends the script.
#   $work                          a folder of the script's own, removed at the end; the program's
#                                  output ($work/log) is shown when the script fails
#   start_display DISPLAY          the virtual display; ends the script when it is taken
#   start_program FOLDER           runs FOLDER/vantrel on it (the folder holds Vantrel.vt and help/)
#   window TITLE                   waits for the visible window of that exact title, prints its id
#   shot ID FILE                   a picture of the window, at its real size
#   keys ID KEY...                 gives the window the keyboard focus, then presses the keys
#   click ID X Y                   a click at X, Y inside the window
#   close_with_escape ID           presses Escape in the window until it has gone
#   expect_size FILE WxH           warns when a window is no longer of the size the crops were made for

scripts/install-deps.sh xvfb xdotool imagemagick x11-utils
if [ ! -x build/bin/vantrel ] || [ ! -x build/bin/vantrel-makedb ]; then
  echo "no build in build/bin: run scripts/build-and-test.sh first" >&2
  exit 1
fi

display=
xvfb=
app=
work=$(mktemp -d)
on_exit() {
  local rc=$?
  stop_display
  if [ "$rc" -ne 0 ] && [ -f "$work/log" ]; then cat "$work/log" >&2; fi
  rm -rf "$work"
}
trap on_exit EXIT
stop_display() { # the program, then the display; waits until both are gone, so the next may start
  local pid
  for pid in $app $xvfb; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  app=
  xvfb=
}

start_display() {
  display=$1
  if DISPLAY=$display xdpyinfo >/dev/null 2>&1; then
    echo "the display $display is in use: give another one, for instance ${0##*/} :98" >&2
    exit 1
  fi
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 && return
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  echo "no virtual display on $display: is it in use?" >&2
  exit 1
}

start_program() {
  mkdir -p "$1/runtime" && chmod 700 "$1/runtime"
  (cd "$1" && DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$1/runtime" exec ./vantrel) >"$1/log" 2>&1 &
  app=$!
}

x() { DISPLAY=$display xdotool "$@"; }

window() {
  local id=
  for _ in $(seq 150); do
    id=$(x search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
    kill -0 "$app" 2>/dev/null || { echo "the program ended before the window \"$1\" came" >&2; exit 1; }
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no window \"$1\"" >&2; exit 1; }
  sleep 0.5 # painted
  echo "$id"
}

shot() { DISPLAY=$display import -window "$1" "$2"; }

keys() { # there is no window manager: the window gets the keyboard focus first
  local id=$1
  shift
  x windowfocus "$id" 2>/dev/null || true
  sleep 0.2
  x key "$@"
  sleep 0.3
}

click() {
  x mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

close_with_escape() { # a cell being edited takes the first Escape for itself
  for _ in 1 2 3 4; do
    DISPLAY=$display xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
    keys "$1" Escape
  done
  echo "the window $1 did not close with Escape" >&2
  exit 1
}

expect_size() {
  local size
  size=$(identify -format '%wx%h' "$1")
  [ "$size" = "$2" ] || echo "warning: ${1##*/} is $size, not $2 as when its crops were chosen: look at the pictures made from it" >&2
}
