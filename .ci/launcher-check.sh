#!/bin/sh
# Usage: launcher-check.sh DESKTOP-ENTRY   (on an X display, in a scratch session)
# Starts the installed launcher entry the way a launcher does (gio launch) and checks that it runs the
# installed program and opens the settings window; a second launch while it runs opens no second program.
set -u
entry=$1
fail() { echo "FAIL: $*"; [ -n "${pid:-}" ] && kill -TERM "$pid" 2>/dev/null; exit 1; }
within() {
  t=$1
  shift
  until "$@"; do
    t=$((t - 1))
    [ $t -ge 0 ] || return 1
    sleep 0.1
  done
}
settings() { xwininfo -name "Vistamere Settings" 2>/dev/null | grep -q IsViewable; }
windowPid() {
  w=$(xwininfo -name "Vistamere Settings" | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p')
  xprop -id "$w" _NET_WM_PID | sed -n 's/.* = \([0-9]*\)$/\1/p'
}
pid=
gio launch "$entry" || fail "gio launch failed"
within 600 settings || fail "launching the entry opened no settings window"
pid=$(windowPid)
[ -n "$pid" ] || fail "the settings window names no process"
[ "$(readlink "/proc/$pid/exe")" = /usr/bin/vistamere ] || fail "the window belongs to $(readlink "/proc/$pid/exe")"
gio launch "$entry" || fail "the second gio launch failed"
sleep 3
n=0
for p in $(pgrep -x vistamere); do
  [ "$(readlink "/proc/$p/exe")" = /usr/bin/vistamere ] && n=$((n + 1))
done
[ $n = 1 ] || fail "$n installed vistamere processes after a second launch"
kill -TERM "$pid"
within 100 sh -c "! kill -0 $pid 2>/dev/null" || fail "the program did not end on SIGTERM"
echo "launcher entry ok"
