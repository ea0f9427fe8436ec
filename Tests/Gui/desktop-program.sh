#!/bin/sh
# Usage: desktop-program.sh VISTAMERE
# Runs the desktop program on the display given (a scratch session, see scratch-session.sh) and checks
# that it puts up DESKTOP windows with the scene of the preferences and a status item, paints another scene soon after the
# preferences file changes and another when one is chosen in the status menu, and quits within a second of SIGTERM.
set -u
prog=$1
log="$TMPDIR/vistamere.log"
mkdir -p "$XDG_CONFIG_HOME/vistamere"
printf '{"scene": "archipelago"}\n' >"$XDG_CONFIG_HOME/vistamere/defaults.json"
"$prog" 2>"$log" &
pid=$!
fail() {
  echo "FAIL: $*"
  cat "$log"
  kill -KILL $pid 2>/dev/null
  exit 1
}
# Waits up to $1 tenths of a second for a line matching $2 in the log.
await() {
  n=0
  while ! grep -q "$2" "$log"; do
    kill -0 $pid 2>/dev/null || fail "the program ended while waiting for '$2'"
    n=$((n + 1))
    [ $n -le "$1" ] || return 1
    sleep 0.1
  done
}
await 600 'showing archipelago-day on monitor 0' || fail "the first scene was never shown"

# The window goes up on a turn of the loop after the first picture arrives.
desktopWindows() {
  for w in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DESKTOP && echo "$w"
  done
}
n=0
while [ -z "$(desktopWindows)" ]; do
  n=$((n + 1))
  [ $n -le 50 ] || fail "no DESKTOP window 5 s after the first picture"
  sleep 0.1
done
desktops=$(desktopWindows | wc -l)
echo "desktop windows: $desktops"

# The status item: an AppIndicator object on the program's bus connection.
gdbus introspect --session --dest app.vistamere.Vistamere --object-path /org/ayatana/NotificationItem/vistamere \
  | grep -q 'org.kde.StatusNotifierItem' || fail "no status item on the bus"
echo "status item on the bus"

# The edit lands in place, as an editor writes it.
printf '{"scene": "canyon"}\n' >"$XDG_CONFIG_HOME/vistamere/defaults.json"
await 50 'showing canyon-day on monitor 0' || fail "no canyon within 5 s of the edit"
echo "re-rendered after the edit"

# The status menu as the panel sees it: choosing a scene there writes it and paints it.
menu="gdbus call --session --dest app.vistamere.Vistamere --object-path /org/ayatana/NotificationItem/vistamere/Menu"
layout=$($menu --method com.canonical.dbusmenu.GetLayout 0 'int32 -1' '@as []')
echo "$layout" | grep -q "'toggle-state': <1>, 'toggle-type': <'radio'>, 'label': <'Canyon'>" ||
  fail "the menu does not mark Canyon: $layout"
pond=$(echo "$layout" | grep -o "([0-9]*, {[^}]*'label': <'Pond'>" | sed 's/^(\([0-9]*\),.*/\1/')
[ -n "$pond" ] || fail "no Pond in the menu: $layout"
$menu --method com.canonical.dbusmenu.Event "$pond" clicked '<int32 0>' 0 >/dev/null || fail "the menu refused the click"
await 50 'showing pond-day on monitor 0' || fail "no pond within 5 s of choosing it in the menu"
grep -q '"scene": "pond"' "$XDG_CONFIG_HOME/vistamere/defaults.json" || fail "the menu's choice was not stored"
echo "chose a scene in the menu"

kill -TERM $pid
n=0
while kill -0 $pid 2>/dev/null; do
  n=$((n + 1))
  [ $n -le 20 ] || fail "still running 1 s after SIGTERM"
  sleep 0.05
done
wait $pid
status=$?
[ $status -eq 0 ] || fail "exit status $status after SIGTERM"
echo "quit after SIGTERM"
cat "$log"
echo "desktop program ok"
