#!/usr/bin/env bash
# Installs the built program into a temporary prefix, as `cmake --install` does for a user, and
# checks the tree: every file in its place and no other, the desktop entry and the metainfo as the
# desktop's own validators see them, the icons at their sizes, the man page, the empty database
# that each user's file is made from, and the program itself.
#   usage: check-installed-tree.sh BUILD_DIR SOURCE_DIR APP_ID
set -euo pipefail
build=$1 source=$2 id=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }
prefix=$work/usr

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }

# Every file in its place, and nothing else: no build tool, no test, no database with people in it.
{
  echo bin/vantrel
  echo share/applications/$id.desktop
  echo share/metainfo/$id.metainfo.xml
  for size in 16 22 24 32 48 64 128 256 512; do echo "share/icons/hicolor/${size}x$size/apps/$id.png"; done
  echo share/icons/hicolor/scalable/apps/$id.svg
  echo share/man/man1/vantrel.1.gz
  echo share/doc/vantrel/copyright
  echo share/vantrel/Vantrel.vt
  (cd "$source/resources/help" && find . -type f | sed 's|^\./|share/vantrel/help/|')
} | LC_ALL=C sort >"$work/expected"
(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed"
diff -u "$work/expected" "$work/installed" || fail "the installed files are not the expected ones"
diff -r "$source/resources/help" "$prefix/share/vantrel/help" || fail "the installed help pages differ"
[ "$(stat -c %a "$prefix/bin/vantrel")" = 755 ] || fail "bin/vantrel is not executable by everybody"
others=$(cd "$prefix" && find . -type f ! -path ./bin/vantrel ! -perm 644)
[ -z "$others" ] || fail "files that are not readable by all or are writable: $others"
ok "the tree under the prefix"

# Linked against the system's libraries only, with no path into the build folder.
if readelf -d "$prefix/bin/vantrel" | grep -Eq 'RPATH|RUNPATH'; then fail "bin/vantrel keeps a library path"; fi
version=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/vantrel" --version)
[[ "$version" =~ ^vantrel\ [0-9]+\.[0-9]+ ]] || fail "--version answered: $version"
version=${version#vantrel }
ok "the program, version $version"

desktop=$prefix/share/applications/$id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
entry() { sed -n "/^\[Desktop Entry\]/,/^\[/s/^$1=//p" "$desktop"; }
[ "$(entry Name)" = Vantrel ] || fail "Name=$(entry Name)"
[ -n "$(entry Comment)" ] || fail "no Comment"
[ "$(entry Categories)" = "Office;ContactManagement;" ] || fail "Categories=$(entry Categories)"
[ "$(entry Icon)" = "$id" ] || fail "Icon=$(entry Icon)"
[ "$(entry Exec)" = vantrel ] || fail "Exec=$(entry Exec)"
# The windows' class begins with the program's name: the launcher groups them under this entry.
[ "$(entry StartupWMClass)" = vantrel ] || fail "StartupWMClass=$(entry StartupWMClass)"
ok "the desktop entry"

metainfo=$prefix/share/metainfo/$id.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "no launchable $id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo names no release $version"
ok "the metainfo"

for size in 16 22 24 32 48 64 128 256 512; do
  file -b "$prefix/share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "^PNG image data, $size x $size," ||
    fail "the ${size}x$size icon is not a PNG of that size"
done
file -b "$prefix/share/icons/hicolor/scalable/apps/$id.svg" | grep -q "SVG" || fail "the scalable icon is no SVG"
ok "the icons"

man=$prefix/share/man/man1/vantrel.1.gz
gzip -t "$man" || fail "the man page is not gzip"
zcat "$man" | grep -q "^\.TH VANTREL 1 .*\"Vantrel $version\"" || fail "the man page is not of version $version"
warnings=$(zcat "$man" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "groff: $warnings"
ok "the man page"

# The empty database: whole, with every table, and nobody in it; read without leaving a journal.
template="file:$prefix/share/vantrel/Vantrel.vt?immutable=1"
[ "$(sqlite3 "$template" 'PRAGMA integrity_check')" = ok ] || fail "the empty database is damaged"
tables=$(sqlite3 "$template" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name" | tr '\n' ' ')
for table in Companies People QuestionsMain PeopleFollowUp FollowUpMethod; do
  [[ " $tables" == *" $table "* ]] || fail "the empty database has no table $table"
done
[ "$(sqlite3 "$template" 'SELECT COUNT(*) FROM People')" = 0 ] || fail "the empty database holds people"
[ "$(ls "$prefix/share/vantrel")" = "$(printf 'Vantrel.vt\nhelp')" ] || fail "journal files beside the empty database"
ok "the empty database"
echo "tst_install: all checks passed"
