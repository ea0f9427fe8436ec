#!/bin/sh
# Usage (inside session.sh): check.sh IconsMatch | Follows | Shell
# IconsMatch: the icon centres the program keeps clear lie within 4 px of the icons the manager draws, as
#   found in a screenshot of the manager alone.
# Follows: an icon moved the manager's own way (a drag; the layout file without a manager) is followed
#   within 3 s by a picture painted around its new place, whose centres match the icons as the manager
#   draws them after the move.
# Shell: the icons show while the program runs, and SIGTERM leaves the manager's files and settings as they
#   were before its first start, with no still picture left behind.
set -u
. "$VM_BIN/kinds.sh"
test=$1
plog="$VM_OUT/vistamere-$test.log"
find="$VM_BIN/find-icons"
W=${VM_SIZE%x*}
H=${VM_SIZE#*x}
vm=""

fail() {
  echo "FAIL ($VM_KIND $test): $*"
  [ -f "$plog" ] && tail -n 40 "$plog"
  [ -z "$vm" ] || kill -TERM "$vm" 2>/dev/null
  exit 1
}

# Without an icon manager the layout file says where the icons are.
layout_file() {
  printf '{"centers": [%s], "iconSize": 64, "textSize": 12, "labelPosition": "bottom"}\n' "$1" \
    >"$HOME/.config/vistamere/desktop-icons.json"
}
openbox_centres='[70, 60], [70, 170], [70, 280], [190, 60], [190, 170], [190, 280]'
[ "$VM_KIND" != openbox ] || layout_file "$openbox_centres"

if [ "$VM_KIND" = nemo-second ]; then
  # The manager alone once for the reference picture; it starts again after the program.
  manager_start
  await_icons alone || fail "Nemo never showed its icons"
  manager_stop
fi

vm_start() {
  VISTAMERE_TRACE=1 "$VM_BIN/vistamere" >>"$plog" 2>&1 &
  vm=$!
}

layouts() { grep -c 'icon layout changed' "$plog"; }
# The last centres traced for the first monitor.
centres() { grep 'icon centres on monitor 0:' "$plog" | tail -n 1 | sed 's/.*monitor 0://'; }
# Whether a picture was shown after the last layout change.
painted() { sed -n '/icon layout changed/h; /icon layout changed/!H; ${x;p}' "$plog" | grep -q 'showing .* on monitor 0'; }

# Waits (up to 90 s) until the program has shown a picture for the layout it read last and read no new
# one for 4 s.
settle() {
  n=0
  before=-1
  same=0
  while [ $n -lt 180 ]; do
    sleep 0.5
    n=$((n + 1))
    kill -0 "$vm" 2>/dev/null || fail "the program ended"
    now=$(layouts)
    if [ "$now" = "$before" ] && painted; then same=$((same + 1)); else same=0; fi
    before=$now
    [ $same -lt 8 ] || return 0
  done
  fail "no steady picture within 90 s"
}

# What the manager keeps: its files (not gvfs's or dconf's databases, read through their tools instead),
# the settings of backgrounds and icons, the Desktop items' metadata.
snapshot() {
  (
    cd "$HOME" || exit 1
    # Nemo rewrites its own desktop-metadata each time it starts, which the kind started second does.
    skip=/dev/null
    [ "$VM_KIND" != nemo-second ] || skip=.config/nemo/desktop-metadata
    find .config .local/share Desktop -type f ! -path '.config/vistamere/*' ! -path '.config/dconf/*' ! -path "$skip" \
      ! -path '.local/share/gvfs-metadata/*' ! -path '.config/xfce4/xfconf/*' ! -path '.local/share/recently-used.xbel' \
      ! -path '.local/share/nautilus/*' ! -path '.local/share/tracker/*' \
      2>/dev/null | sort | while read -r f; do echo "file $f $(md5sum <"$f" | cut -c1-32)"; done
    for s in org.gnome.desktop.background org.cinnamon.desktop.background org.nemo.desktop \
             org.gnome.shell.extensions.ding org.gnome.shell; do
      gsettings list-recursively "$s" 2>/dev/null | grep -v 'command-history\|app-picker-layout'
    done
    [ "$VM_KIND" != xfdesktop ] || xfconf-query -c xfce4-desktop -lv
    # Nemo stamps every position again each time it starts: its own bookkeeping, not a setting.
    for f in Desktop/*; do
      gio info -a 'metadata::*' "$f" 2>/dev/null | sed "s|^|$f |" | grep metadata | grep -v 'icon-position-timestamp:' | sort
    done
  )
}

# What the managers store of the icon layout: the Desktop items' metadata and the layout key files.
kept_layout() {
  for f in "$HOME"/Desktop/*; do gio info -a 'metadata::*' "$f" 2>/dev/null | grep 'icon-position:' | sort; done
  cat "$HOME"/.config/xfce4/desktop/icons.* "$HOME"/.config/pcmanfm/*/desktop-items-*.conf \
    "$HOME/.config/vistamere/desktop-icons.json" 2>/dev/null
}

case $test in
  IconsMatch)
    vm_start
    [ "$VM_KIND" != nemo-second ] || { sleep 5; manager_start; }
    settle
    shot running
    c=$(centres)
    echo "centres used: $c"
    if [ "$VM_KIND" = openbox ]; then
      # No manager draws icons: the layout file is all there is, and nothing else shows.
      want=$(printf '%s' "$openbox_centres" | sed 's/\[\([0-9]*\), \([0-9]*\)\]/\1,\2/g; s/,* *$//; s/, / /g')
      [ "$(icon_count "$VM_OUT/alone.png")" = 0 ] || fail "something drew icons on the bare desktop"
      for p in $want; do
        printf '%s\n' "$c" | tr ' ' '\n' | grep -qx "${p%,*}.0,${p#*,}.0" || fail "centre $p of the layout file not used"
      done
      [ "$(printf '%s\n' "$c" | wc -w)" = 6 ] || fail "not 6 centres"
    else
      "$find" --centres "$c" --radius 4 "$VM_OUT/alone.png" || fail "the centres are not where the manager draws the icons"
    fi
    vm_quit
    echo "icons match"
    ;;
  Follows)
    case $VM_KIND in
      nemo-*) nemo_free_placement || fail "Nemo did not come back with Auto-arrange off" ;;
    esac
    vm_start
    [ "$VM_KIND" != nemo-second ] || { sleep 5; manager_start; }
    settle
    shot before-move
    # The lowest icon: an item of the Desktop folder (managers put their own icons first).
    old=$("$find" "$VM_OUT/alone.png" | sed -n 's/^icon at \([0-9.]*\),\([0-9.]*\) .*/\1 \2/p' | tail -n 1)
    [ "$VM_KIND" = openbox ] && old="70 60"
    [ -n "$old" ] || fail "no icon to move"
    ox=${old% *}; oy=${old#* }
    ox=${ox%.*}; oy=${oy%.*}
    # To the middle of the screen, on bare desktop.
    tx=$((W / 2)); ty=$((H / 2))
    count=$(layouts)
    layout_before=$(kept_layout)
    start=$(date +%s%N)
    if [ "$VM_KIND" = openbox ]; then
      layout_file "[$tx, $ty], [70, 170], [70, 280], [190, 60], [190, 170], [190, 280]"
      start=$(date +%s%N)
    else
      # xfdesktop takes the first click to focus its window.
      [ "$VM_KIND" != xfdesktop ] || { xdotool mousemove $((W - 40)) $((H - 40)) click 1; sleep 1; }
      xdotool mousemove "$ox" "$oy"
      sleep 0.5
      xdotool mousedown 1
      sleep 0.3
      # A few small steps first: drag and drop starts past a threshold, and only then follows the pointer.
      for d in 3 6 9 12; do
        xdotool mousemove $((ox + d)) $((oy + d))
        sleep 0.1
      done
      sleep 0.5
      i=1
      while [ $i -le 20 ]; do
        xdotool mousemove $((ox + (tx - ox) * i / 20)) $((oy + (ty - oy) * i / 20))
        sleep 0.05
        i=$((i + 1))
      done
      # Drops follow the pointer's last motion: a little one over the target. A release before the target
      # has answered that motion (Nemo first fetches the dragged items, slow on a loaded machine) cancels
      # the drop, so the pointer rests there a while.
      sleep 1
      xdotool mousemove $((tx + 2)) $((ty + 2))
      sleep 0.5
      xdotool mousemove "$tx" "$ty"
      sleep 1.5
      xdotool mouseup 1
      start=$(date +%s%N)
      # Away from the icon, so that no highlight stays on it.
      xdotool mousemove $((W - 20)) $((H - 20))
    fi
    # Followed: within 3 s a new layout with a centre near the drop point (managers snap it to their grid,
    # up to a cell away) and none left at the old place,
    # and a picture painted for it.
    moved() {
      [ "$(layouts)" -gt "$count" ] && painted || return 1
      c=$(centres)
      printf '%s\n' "$c" | tr ' ' '\n' | awk -F, -v tx="$tx" -v ty="$ty" -v ox="$ox" -v oy="$oy" '
        NF == 2 { dn = sqrt(($1 - tx) ^ 2 + ($2 - ty) ^ 2); do_ = sqrt(($1 - ox) ^ 2 + ($2 - oy) ^ 2)
                  if (dn < 150) near = 1; if (do_ < 10) old = 1 }
        END { exit !(near && !old) }'
    }
    # By the clock, not by the number of looks: under load one look takes a while.
    ok=no
    while :; do
      ms=$(( ($(date +%s%N) - start) / 1000000 ))
      [ "$ms" -le 3000 ] || break
      if moved; then ok=yes; break; fi
      sleep 0.1
    done
    shot after-move
    echo "centres after the move: $(centres)"
    if [ $ok = no ] && [ "$(kept_layout)" = "$layout_before" ]; then
      fail "the drag from $ox,$oy to $tx,$ty left the manager's stored layout as it was: no move to follow"
    fi
    [ $ok = yes ] || fail "the move to $tx,$ty was not followed within 3 s (waited $ms ms)"
    echo "followed $ms ms after the drop"
    if [ "$VM_KIND" != openbox ]; then
      # After the move, too, the centres are where the manager draws the icons, seen once the program
      # has quit and the plain background is back.
      c=$(centres)
      vm_quit
      # The extension keeps a dropped icon selected, framed with its label: a click on bare ground clears
      # that, so the icon is seen as drawn.
      [ "$VM_KIND" != gnome ] || xdotool mousemove $((W - 20)) $((H - 20)) click 1
      await_icons after-move-alone || fail "no steady icons after quitting"
      "$find" --centres "$c" --radius 4 "$VM_OUT/after-move-alone.png" || fail "after the move the centres are not where the manager draws the icons"
    fi
    ;;
  Shell)
    snapshot >"$VM_OUT/settings-before.txt"
    vm_start
    [ "$VM_KIND" != nemo-second ] || { sleep 5; manager_start; }
    settle
    shot running
    if [ "$VM_KIND" = openbox ]; then
      # No icons to keep visible; the scenery must show, not the bare background.
      [ "$(icon_count "$VM_OUT/running.png")" != "" ] || fail "no screenshot"
      "$find" "$VM_OUT/running.png" | head -n 1 | grep -qv "background 3a6ea5" || fail "the plain background still shows"
    else
      "$find" --kept "$VM_OUT/alone.png" "$VM_OUT/running.png" || fail "the icons do not show while the program runs"
    fi
    vm_quit
    sleep 2
    shot after-quit
    snapshot >"$VM_OUT/settings-after.txt"
    if ! diff "$VM_OUT/settings-before.txt" "$VM_OUT/settings-after.txt"; then fail "settings or files changed after quitting"; fi
    stills=$(find "$HOME/.cache/vistamere" -type f -name '*still*' 2>/dev/null)
    [ -z "$stills" ] || fail "left behind: $stills"
    echo "restored on quit"
    ;;
  *) fail "unknown test $test" ;;
esac
echo "real desktop $VM_KIND $test ok"
