#!/usr/bin/env bash
# Renders the toolbar, side-strip and link-button pictures from Debian's breeze-icon-theme into
# resources/icons as PNG files (1x and 2x), with the set's licence. Run it only to change the
# pictures: the program embeds the PNG files and needs no icon theme installed.
#   apt-get install breeze-icon-theme librsvg2-bin
set -euo pipefail
cd "$(dirname "$0")/.."
src=/usr/share/icons/breeze/actions
out=resources/icons
rm -f "$out"/*.png
# name in resources  <- breeze name, at the size the program shows it
small=(new-person:list-add-user delete-person:list-remove-user delete-all:user-group-delete
       save:document-save discard:edit-undo refresh:view-refresh personality:user-properties
       first:go-first prior:go-previous next:go-next last:go-last import:document-import help:help-contents
       send-email:mail-message-new go-to-url:globe tactics:games-hint
       insert:list-add remove:list-remove post:dialog-ok-apply cancel-edit:dialog-cancel)
large=(personality:user-properties filters:view-filter follow-up:view-calendar-tasks
       pipeline:office-chart-bar import:document-import help:help-contents)
render() { # size list...
  local size=$1; shift
  for pair in "$@"; do
    local name=${pair%%:*} icon=${pair#*:}
    rsvg-convert -w "$size" -h "$size" "$src/$size/$icon.svg" -o "$out/$name-$size.png"
    rsvg-convert -w $((size * 2)) -h $((size * 2)) "$src/$size/$icon.svg" -o "$out/$name-$size@2x.png"
  done
}
render 16 "${small[@]}"
render 22 "${large[@]}"
cp /usr/share/common-licenses/LGPL-3 "$out/COPYING.LGPL-3"
cp /usr/share/common-licenses/GPL-3 "$out/COPYING.GPL-3"
