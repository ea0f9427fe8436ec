#!/bin/sh
# Usage: session.sh KIND [--bin VISTAMERE] [--tool FILE]... [--out DIR] [--keep] COMMAND [ARG...]
# Runs COMMAND in a headless Wayland session of the kind KIND (sway, gnome, weston), each with Xwayland, as
# a throwaway user (sway will not run as root) with a fresh home, under a session bus of its own. The
# compositor is started and awaited before COMMAND runs, with WAYLAND_DISPLAY and DISPLAY set for it;
# COMMAND may use the functions of compositors.sh. The binary and the --tool files are copied where that
# user can run them; what COMMAND writes to $VM_OUT lands in --out. Everything is removed afterwards (the
# home is kept with --keep). COMMAND's status is the script's.
set -u
here=$(cd "$(dirname "$0")" && pwd)
session_lib=$(cd "$here/../Tools" && pwd)/throwaway-session.sh
. "$session_lib"
session_options "sway gnome weston" "$@"
shift $session_shift
session_user vmwl vm-wl

mkdir -p "$base/home/.config/vistamere"
printf '{"scene": "sea", "welcomed": true}\n' >"$base/home/.config/vistamere/defaults.json"
cp "$here/compositors.sh" "$here/inner.sh" "$base/bin/"
session_install "$@"

# A check whose compositor died under it runs once more in a fresh session (inner.sh exits 75 then).
for try in 1 2; do
  session_run GTK_A11Y=none dbus-run-session -- sh -c "exec sh '$base/bin/inner.sh' $cmd"
  status=$?
  [ $status -eq 75 ] && [ $try -eq 1 ] || break
  echo "session: running the check again in a fresh session"
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -KILL "$p" 2>/dev/null; done
  find "$base/run" -mindepth 1 -delete 2>/dev/null
  # The first try's logs and pictures are kept apart, so no check of the second reads them.
  mkdir -p "$base/out/first-try"
  find "$base/out" -maxdepth 1 -type f -exec mv {} "$base/out/first-try/" \;
  chown -R "$user" "$base/out"
done
exit $status
