#!/bin/sh
# Usage: desktop-touch.sh VISTAMERE X-TOUCH DESK-ICONS
# In a scratch session on a 2560 × 1440 display with openbox: the sea scene, one Desktop file placed
# through gvfs metadata (read as Caja's, with a stand-in process of that name). Checks that a click on
# bare water ripples, a click on the file's label or on an ordinary window does not, and that moving the
# file through its metadata paints the scene again within 3 s with the far scenery unchanged.
set -u
prog=$1
xtouch=$2
deskicons=$3
log="$TMPDIR/vistamere.log"
pids=""
cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null; done
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  cat "$log"
  exit 1
}
# Waits up to $1 tenths of a second until command $2... succeeds.
await() {
  limit=$1
  shift
  n=0
  while ! "$@"; do
    n=$((n + 1))
    [ $n -le "$limit" ] || return 1
    sleep 0.1
  done
}
logHas() { grep -q "$1" "$log"; }
count() { grep -c "$1" "$log"; }
above() { [ "$(count "$1")" -gt "$2" ]; }
# A line matching $2 follows one matching $1.
follows() { sed -n "/$1/,\$p" "$log" | grep -q "$2"; }

mkdir -p "$XDG_CONFIG_HOME/vistamere" "$HOME/Desktop"
printf '{"scene": "sea", "welcomed": true}\n' >"$XDG_CONFIG_HOME/vistamere/defaults.json"
touch "$HOME/Desktop/notes.txt"
gio set "$HOME/Desktop/notes.txt" metadata::caja-icon-position "400,300" || fail "no gvfs metadata"
cp "$(command -v sleep)" "$TMPDIR/caja"
"$TMPDIR/caja" 600 &
pids="$pids $!"

openbox --sm-disable &
pids="$pids $!"
await 100 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"

# Where the reader puts the icon: the label box starts 2 points below the icon.
centre=$("$deskicons" --source caja --desktop "$HOME/Desktop" --config "$XDG_CONFIG_HOME" | sed -n 's/^  (\([0-9]*\), \([0-9]*\))$/\1 \2/p')
[ -n "$centre" ] || fail "the reader sees no icon"
cx=${centre% *}
cy=${centre#* }
echo "icon centre: $cx,$cy"

VISTAMERE_TRACE=1 "$prog" 2>"$log" &
pid=$!
pids="$pids $pid"
await 600 logHas 'icon layout changed: 1 icons' || fail "the icon was never read"
# A picture painted around the icon (the first pass, without it, may have been dropped for it).
await 600 follows 'icon layout changed: 1 icons' 'showing sea-day on monitor 0' || fail "no picture after the icon was read"

# A click far from the icon, on water: a ripple. Global y runs up from the bottom of the screen.
"$xtouch" click 1800 1000
await 50 logHas 'click at 1800,440: ripple' || fail "no ripple on bare water"
echo "ripple on bare water"

# 41 points below the icon's centre lies its label.
ly=$((cy + 41))
"$xtouch" click "$cx" "$ly"
await 50 logHas "click at $cx,$((1440 - ly)): icon" || fail "a click on the label was not left to the icon"
echo "no ripple on the label"

# An ordinary window over the desktop takes the click.
"$xtouch" cover 800 400 1200 700 >/dev/null &
cover=$!
pids="$pids $cover"
await 100 sh -c 'xwininfo -name "x-touch cover" 2>/dev/null | grep -q "IsViewable"' || fail "the covering window never showed"
"$xtouch" click 1400 750
await 50 logHas 'click at 1400,690: covered' || fail "a click on an ordinary window reached the desktop"
kill $cover
echo "no ripple through a window"

# The icon moves through its metadata: a new picture within 3 s, the far scenery as it was.
before=$(count 'showing sea-day on monitor 0')
start=$(date +%s%N)
gio set "$HOME/Desktop/notes.txt" metadata::caja-icon-position "400,800"
await 30 above 'showing sea-day on monitor 0' "$before" || fail "no new picture within 3 s of the icon's move"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "painted again $ms ms after the move"
tiles() { grep 'tiles on monitor 0' "$log" | tail -n "$1" | head -n 1 | sed 's/.*: //'; }
old=$(tiles 2)
new=$(tiles 1)
# Tiles are 640 × 360, row by row; the icon stood and stands in the first column.
far() { echo "$1" | tr ' ' '\n' | awk 'NR % 4 == 3 || NR % 4 == 0' | tr '\n' ' '; }
[ "$(far "$old")" = "$(far "$new")" ] || fail "the far scenery changed: $old / $new"
[ "$old" != "$new" ] || fail "the new picture is the old one"
echo "far scenery kept"

kill -TERM $pid
wait $pid
echo "desktop touch ok"
