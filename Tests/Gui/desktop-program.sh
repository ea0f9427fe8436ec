#!/bin/sh
# Usage: desktop-program.sh VISTAMERE
# Runs the desktop program on the display given (a scratch session, see scratch-session.sh), with the
# screen split into two RandR monitors, and checks that it puts up one DESKTOP window per monitor with the
# scene of the preferences and a status item, paints another scene soon after the preferences file
# changes, and fades out and quits within a second of SIGTERM. The X server must run with -noreset: the
# monitors are set before the program connects, and a server that resets when its last client leaves
# forgets them.
set -u
prog=$1
log="$TMPDIR/vistamere.log"

# The left half keeps the screen's one output, so it replaces the whole-screen monitor; the right half
# is a monitor without an output of its own.
output=$(xrandr | sed -n 's/^\([^ ]*\) connected.*/\1/p' | head -n 1)
size=$(xrandr | sed -n 's/.* current \([0-9]*\) x \([0-9]*\),.*/\1 \2/p')
width=${size% *}
height=${size#* }
half=$((width / 2))
xrandr --setmonitor vm-left "$half/300x$height/300+0+0" "$output" >/dev/null &&
  xrandr --setmonitor vm-right "$half/300x$height/300+$half+0" none >/dev/null ||
  { echo "FAIL: xrandr cannot split the screen"; exit 1; }
monitors=$(xrandr --listmonitors | sed -n 's/^Monitors: //p')
[ "$monitors" = 2 ] || { echo "FAIL: $monitors monitors after the split (does the server reset?)"; exit 1; }
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
await 50 'showing archipelago-day on monitor 1' || fail "the second monitor never showed the scene"
n=0
while [ "$(desktopWindows | wc -l)" -lt 2 ]; do
  n=$((n + 1))
  [ $n -le 50 ] || fail "fewer than two DESKTOP windows 5 s after the pictures"
  sleep 0.1
done
# One window on each half.
places=$(for w in $(desktopWindows); do
  xwininfo -id "$w" | sed -n 's/.*Absolute upper-left X: *\([0-9-]*\)/\1/p; s/.*Width: *\([0-9]*\)/\1/p' | tr '\n' ' '
  echo
done | sort -n)
expected=$(printf '0 %s \n%s %s \n' "$half" "$half" "$half")
[ "$places" = "$expected" ] || fail "DESKTOP windows at (x width): $places; expected: $expected"
echo "desktop windows: one per monitor"

# The status item: an AppIndicator object on the program's bus connection.
gdbus introspect --session --dest app.vistamere.Vistamere --object-path /org/ayatana/NotificationItem/vistamere \
  | grep -q 'org.kde.StatusNotifierItem' || fail "no status item on the bus"
echo "status item on the bus"

# The edit lands in place, as an editor writes it.
printf '{"scene": "canyon"}\n' >"$XDG_CONFIG_HOME/vistamere/defaults.json"
await 50 'showing canyon-day on monitor 0' || fail "no canyon within 5 s of the edit"
echo "re-rendered after the edit"

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
# The windows fade out over half a second before the program ends.
[ $n -ge 6 ] || fail "ended $n polls of 0.05 s after SIGTERM: no fade"
echo "faded out and quit after SIGTERM ($n polls of 0.05 s)"
cat "$log"
echo "desktop program ok"
