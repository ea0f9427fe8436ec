#!/bin/sh
# Usage: settings-start.sh VISTAMERE
# The launcher's start, vistamere --settings, in a scratch session: as the first start it runs the program
# and opens the settings window, with no welcome menu over it; while the program runs it hands over to
# it, which opens the window, and ends at once without a second program.
set -u
prog=$1
log="$TMPDIR/vistamere.log"
pid=
fail() {
  echo "FAIL: $*"
  cat "$log"
  [ -n "$pid" ] && kill -KILL $pid 2>/dev/null
  exit 1
}
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
settingsShown() { xwininfo -name "Vistamere Settings" 2>/dev/null | grep -q IsViewable; }
settingsGone() { ! settingsShown; }
menuShown() {
  for w in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_POPUP_MENU &&
      xwininfo -id "$w" 2>/dev/null | grep -q IsViewable && return 0
  done
  return 1
}
running() { kill -0 $pid 2>/dev/null; }

"$prog" --settings 2>"$log" &
pid=$!
within 300 settingsShown || fail "the first start with --settings opened no settings window"
within 600 logged 'showing .* on monitor 0' || fail "the first start with --settings never showed its scene"
sleep 2.5
! menuShown || fail "the welcome menu opened over the settings window"
running || fail "the program ended"
kill -TERM $pid
wait $pid

"$prog" 2>"$log" &
pid=$!
within 600 logged 'showing .* on monitor 0' || fail "the plain start never showed its scene"
settingsGone || fail "a plain start opened the settings window"
timeout 20 "$prog" --settings 2>>"$log" || fail "the start with --settings did not hand over and end"
within 100 settingsShown || fail "the running program did not open the settings window"
sleep 0.5
! menuShown || fail "the start with --settings opened the status menu too"
running || fail "the running program ended"
kill -TERM $pid
wait $pid
echo "settings start ok"
