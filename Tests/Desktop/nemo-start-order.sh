#!/bin/bash
# Usage: nemo-start-order.sh VISTAMERE
# The real nemo-desktop started after Vistamere (at login, or restarted) takes the desktop beside our
# window and draws its icons over the scene, under openbox and picom; on quit, Nemo's list of ignored
# desktop handlers is as it was. Nemo refuses root: as root, the check runs as a throwaway user.
set -u
prog=$1
if [ "$(id -u)" -eq 0 ] && [ "${VM_NEMO_INNER:-}" != 1 ]; then
  user=vm-nemo-check
  id "$user" >/dev/null 2>&1 || useradd -M -d /nonexistent -s /bin/bash "$user" || { echo "FAIL: useradd"; exit 1; }
  t=$(mktemp -d /tmp/vm-nemo-XXXXXX)
  chmod 755 "$t"
  cp "$prog" "$t/vistamere" && cp "$0" "$t/check.sh" && chmod 755 "$t/vistamere" "$t/check.sh"
  mkdir -p "$t/home" "$t/run" && chown "$user" "$t/home" "$t/run" && chmod 700 "$t/run"
  runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$t/home" XDG_RUNTIME_DIR="$t/run" GVFS_DISABLE_FUSE=1 \
    LANG=C.UTF-8 NO_AT_BRIDGE=1 VM_NEMO_INNER=1 \
    xvfb-run -a -s "-screen 0 1280x800x24 -noreset" dbus-run-session -- "$t/check.sh" "$t/vistamere"
  status=$?
  rm -rf "$t"
  exit $status
fi
if [ "${VM_NEMO_INNER:-}" != 1 ]; then
  export VM_NEMO_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x800x24 -noreset" dbus-run-session -- "$0" "$prog"
fi

cd "$HOME" || exit 1
mkdir -p Desktop/Projects Desktop/Photos Desktop/Music && touch Desktop/notes.txt Desktop/report.pdf Desktop/todo.md
mkdir -p "$HOME/.config/vistamere"
printf '{"scene": "archipelago", "welcomed": true}\n' >"$HOME/.config/vistamere/defaults.json"
gsettings set org.nemo.desktop ignored-desktop-handlers "['conky']"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT
openbox --sm-disable & pids+=($!)
sleep 1
picom --backend xrender 2>/dev/null & pids+=($!)
"$prog" 2>"$HOME/vistamere.log" & vm=$!
pids+=($vm)
class() { xprop -id "$1" WM_CLASS 2>/dev/null | cut -d'"' -f2; }
stack() { xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'; }
# Runs the rest of the line every tenth of a second until it succeeds, for at most $1 tenths.
within() { t=$1; shift; while [ "$t" -gt 0 ]; do "$@" && return 0; sleep 0.1; t=$((t - 1)); done; return 1; }
ours() { for w in $(stack); do [ "$(class "$w")" = vistamere ] && echo "$w"; done; }
hasOurs() { test -n "$(ours)"; }
within 600 hasOurs || { echo "FAIL: no desktop window of ours: $(for w in $(stack); do class $w; done)"; cat "$HOME/vistamere.log"; exit 1; }
listed=$(gsettings get org.nemo.desktop ignored-desktop-handlers)
echo "while running: $listed"
nemo-desktop >"$HOME/nemo.log" 2>&1 & pids+=($!)
theirs() { for w in $(stack); do [ "$(class "$w")" = nemo-desktop ] && echo "$w"; done; }
hasTheirs() { test -n "$(theirs)"; }
within 300 hasTheirs || { echo "FAIL: Nemo took no desktop"; cat "$HOME/nemo.log"; exit 1; }
grep -q "already managed" "$HOME/nemo.log" && { echo "FAIL: Nemo skipped the desktop"; exit 1; }
below() {
  o=$(ours); n=$(theirs); i=0
  for w in $(stack); do i=$((i + 1)); [ "$w" = "$o" ] && oi=$i; [ "$w" = "$n" ] && ni=$i; done
  [ -n "${oi:-}" ] && [ -n "${ni:-}" ] && [ "$oi" -lt "$ni" ]
}
within 100 below || { echo "FAIL: our window is not below Nemo's: $(stack)"; exit 1; }
echo "NEMO-SECOND-OK"
kill "$vm"
within 100 sh -c "! kill -0 $vm 2>/dev/null" || { echo "FAIL: no quit on SIGTERM"; exit 1; }
after=$(gsettings get org.nemo.desktop ignored-desktop-handlers)
echo "after quit: $after"
[ "$after" = "['conky']" ] && echo "HANDLERS-RESTORED-OK"
