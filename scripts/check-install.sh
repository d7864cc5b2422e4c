#!/usr/bin/env bash
# The checks of an installed Vantrel that go beyond the tests, after scripts/build-and-test.sh:
#  1. the program installed into a temporary prefix whose folder its user may not write, started
#     under a virtual display: it makes the user's database in a data folder of its own and says
#     so once; a start with --second-copy opens a second window on the same file; a plain start
#     brings the first window to the front and ends;
#  2. the Debian package made by CPack, installed with apt and removed again, leaving nothing.
# The administrator may write every folder, so as root the program runs as the user nobody.
#   usage: scripts/check-install.sh [DISPLAY]     (:93 by default, else :94)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xdotool x11-utils
[ -x build/bin/vantrel ] || { echo "no build in build/: run scripts/build-and-test.sh first" >&2; exit 1; }
started=$SECONDS
fail() { echo "FAIL: $*" >&2; exit 1; }
passed=0
ok() {
  echo "ok: $*"
  passed=$((passed + 1))
}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

work=$(mktemp -d)
chmod 755 "$work"
xvfb=
pids=()
on_exit() {
  local rc=$? pid
  for pid in "${pids[@]}" $xvfb; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ "$rc" -ne 0 ]; then
    for log in "$work"/*.log; do [ -f "$log" ] && { echo "--- $log"; cat "$log"; } >&2; done
  fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap on_exit EXIT

# --- 1. The installed tree, its folder read-only for the user who runs it
prefix=$work/usr
cmake --install build --prefix "$prefix" >"$work/install.log"
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$work/home" "$work/runtime"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  chmod a-w "$prefix/bin"
fi
if "${as_user[@]}" test -w "$prefix/bin"; then fail "the program's folder can be written"; fi

display=${1:-}
for d in ${display:-:93 :94}; do
  DISPLAY=$d xdpyinfo >/dev/null 2>&1 && continue
  display=$d
  break
done
[ -n "$display" ] && ! DISPLAY=$display xdpyinfo >/dev/null 2>&1 || fail "no free display among ${1:-:93 :94}"
# -noreset: the server would otherwise restart as the readiness check leaves, refusing whoever comes next.
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display xdpyinfo >/dev/null 2>&1 || fail "no virtual display on $display"
export DISPLAY=$display

data=$work/home/.local/share
start() { # LOG [OPTION]: the installed program in the background, as the user, in a clean
  # environment; $! is the program's own process
  local log=$1
  shift
  "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    XDG_DATA_HOME="$data" XDG_RUNTIME_DIR="$work/runtime" "$prefix/bin/vantrel" "$@" >"$log" 2>&1 &
}
window() { # PID TITLE: the id of that process's visible window of that exact title (a pattern)
  local id=
  for _ in $(seq 150); do
    id=$(xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
    kill -0 "$1" 2>/dev/null || fail "the program ended before its window \"$2\" came"
    sleep 0.1
  done
  [ -n "$id" ] || fail "no window \"$2\""
  echo "$id"
}
soon() { # COMMAND...: true once the command is, within five seconds
  for _ in $(seq 50); do "$@" && return 0; sleep 0.1; done
  return 1
}
focused() { [ "$(xdotool getwindowfocus)" = "$1" ]; }
above() { # ID OTHER: ID is stacked above OTHER (xwininfo lists the topmost first)
  local order
  order=$(xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ' | grep -nxE "$(printf '0x%x|0x%x' "$1" "$2")")
  [ "$(head -1 <<<"$order" | cut -d: -f2)" = "$(printf '0x%x' "$1")" ]
}
main='Vantrel \(Belcarre\)' # a pattern

start "$work/first.log"
first=$!
pids+=("$first")
note=$(window "$first" Information)
[ -f "$data/Vantrel/Vantrel.vt" ] || fail "no database in the user's data folder"
[ "$(ls -A "$prefix/bin")" = vantrel ] || fail "files beside the installed program: $(ls -A "$prefix/bin")"
xdotool windowfocus "$note"
xdotool key Return
one=$(window "$first" "$main")
ok "the first start made $data/Vantrel/Vantrel.vt and said so"

class=$(xprop -id "$one" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "vantrel", "vantrel"' ] || fail "the window's class: $class"
xprop -id "$one" -len 8 _NET_WM_ICON | grep -q 'Icon (16 x 16)' || fail "the window has no icon"
ok "the window's class and icon"

start "$work/second.log" --second-copy
second=$!
pids+=("$second")
two=$(window "$second" "$main")
soon above "$two" "$one" || fail "the second copy's window is not in front"
focused "$one" && fail "the first window has the focus before the start that should give it"
start "$work/third.log"
third=$!
for _ in $(seq 300); do kill -0 "$third" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$third" 2>/dev/null; then pids+=("$third"); fail "a start on the running file did not end by itself"; fi
wait "$third" || fail "a start on the running file ended with an error"
grep -q "Vantrel already runs on $data/Vantrel/Vantrel.vt" "$work/third.log" || fail "the third start said: $(cat "$work/third.log")"
soon above "$one" "$two" || fail "the first window did not come to the front"
soon focused "$one" || fail "the first window did not get the focus"
ok "--second-copy opened a second window; a plain start brought the first to the front"

for pid in "$first" "$second"; do kill "$pid"; wait "$pid" 2>/dev/null || true; done
pids=()
start "$work/again.log"
again=$!
pids+=("$again")
window "$again" "$main" >/dev/null
[ -z "$(xdotool search --all --onlyvisible --pid "$again" --name '^Information$' 2>/dev/null)" ] || fail "the first-start note came again"
kill "$again"
wait "$again" 2>/dev/null || true
pids=()
ok "a later start says nothing of it"

# Two starts at the same moment: one window, the other start hands over to it.
start "$work/pair1.log"
p1=$!
start "$work/pair2.log"
p2=$!
pids+=("$p1" "$p2")
for _ in $(seq 300); do kill -0 "$p1" 2>/dev/null && kill -0 "$p2" 2>/dev/null || break; sleep 0.1; done
survivor=$p1
kill -0 "$p1" 2>/dev/null || survivor=$p2
kill -0 "$p1" 2>/dev/null && kill -0 "$p2" 2>/dev/null && fail "two starts at the same moment both kept running"
window "$survivor" "$main" >/dev/null
kill "$survivor"
wait "$survivor" 2>/dev/null || true
pids=()
ok "two starts at the same moment opened one window"

# The text options need no display.
version=$("${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" "$prefix/bin/vantrel" --version 2>&1) \
  || fail "--version without a display: $version"
[ "$version" = "vantrel 1.0" ] || fail "--version printed: $version"
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" "$prefix/bin/vantrel" --help 2>&1 | grep -q -- --second-copy \
  || fail "--help without a display names no --second-copy"
ok "--version and --help answer without a display"

# --- 2. The Debian package
(cd build && cpack -G DEB >"$work/cpack.log" 2>&1) || fail "cpack -G DEB"
deb=$(ls build/vantrel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6network6 libsqlite3-0 qt6-qpa-plugins; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "the package does not depend on $package: $depends"
done
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | LC_ALL=C sort >"$work/packaged"
(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed"
diff -u "$work/installed" "$work/packaged" || fail "the package holds other files than cmake --install"
ok "$deb, depending on $depends"

if dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q "install ok installed"; then
  echo "a vantrel package is installed already on this machine: it is left alone, and the package is not installed"
else
  apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -q)
  $sudo "${apt[@]}" install --no-install-recommends "./$deb" >"$work/apt.log" 2>&1 || fail "apt-get install ./$deb"
  files=$(dpkg -L vantrel)
  [ "$(QT_QPA_PLATFORM=offscreen /usr/bin/vantrel --version)" = "vantrel $(dpkg-deb -f "$deb" Version)" ] ||
    fail "the installed program answers another version"
  desktop-file-validate /usr/share/applications/example.vantrel.Vantrel.desktop
  $sudo "${apt[@]}" purge vantrel >>"$work/apt.log" 2>&1 || fail "apt-get purge vantrel"
  left=$(while read -r f; do if [ -e "$f" ] && [ ! -d "$f" ]; then echo "$f"; fi; done <<<"$files")
  [ -z "$left" ] || fail "files left after the package was removed: $left"
  [ ! -e /usr/share/vantrel ] || fail "/usr/share/vantrel is left after the package was removed"
  ok "apt-get installed $deb and removed it cleanly"
fi
echo "the checks took $((SECONDS - started)) s"
echo "check-install: $passed passed, 0 failed"
