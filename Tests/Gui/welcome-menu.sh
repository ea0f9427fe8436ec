#!/bin/sh
# Usage: welcome-menu.sh VISTAMERE X-TOUCH
# Runs the desktop program in a scratch session with no preferences yet and checks that the very first
# launch opens the status menu at the mouse by itself and remembers having done so, that starting the
# program again while it runs opens the menu again without writing the preferences, and that a later
# launch leaves the menu shut.
set -u
prog=$1
touch=$2
log="$TMPDIR/vistamere.log"
prefs="$XDG_CONFIG_HOME/vistamere/defaults.json"
pid=
fail() {
  echo "FAIL: $*"
  cat "$log"
  [ -n "$pid" ] && kill -KILL $pid 2>/dev/null
  exit 1
}
# Runs the rest of the line every tenth of a second until it succeeds, for at most $1 tenths.
within() {
  t=$1
  shift
  until "$@"; do
    t=$((t - 1))
    [ $t -ge 0 ] || return 1
    sleep 0.1
  done
}
logged() { grep -q "$1" "$log"; }
# Whether a pop-up menu is on screen.
menuShown() {
  for w in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_POPUP_MENU &&
      xwininfo -id "$w" 2>/dev/null | grep -q IsViewable && return 0
  done
  return 1
}
menuGone() { ! menuShown; }
welcomed() { grep -Eq '"welcomed": ?true' "$prefs" 2>/dev/null; }
# A click away from the menu closes it.
dismiss() {
  "$touch" click 5 5 || fail "x-touch could not click"
  within 50 menuGone || fail "the menu stayed open after a click elsewhere"
}

"$prog" 2>"$log" &
pid=$!
within 300 menuShown || fail "the first launch never opened the menu"
welcomed || fail "the first launch did not remember the welcome: $(cat "$prefs" 2>&1)"
dismiss

before=$(stat -c %y "$prefs")
timeout 20 "$prog" 2>>"$log" || fail "the second start did not hand over and end"
within 50 menuShown || fail "starting the program again did not open the menu"
sleep 0.5
[ "$(stat -c %y "$prefs")" = "$before" ] || fail "starting again wrote the preferences"
dismiss
kill -TERM $pid
wait $pid

"$prog" 2>"$log" &
pid=$!
within 600 logged 'showing .* on monitor 0' || fail "the later launch never showed its scene"
sleep 2.5
menuGone || fail "a later launch opened the menu by itself"
kill -TERM $pid
wait $pid
echo "welcome menu ok"
