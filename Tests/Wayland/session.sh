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
kind=${1:?usage: session.sh KIND [options] COMMAND...}
shift
bin=""
tools=""
out=""
keep=no
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=$2; shift 2 ;;
    --tool) tools="$tools $2"; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --keep) keep=yes; shift ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "session.sh: no command" >&2; exit 2; }
case $kind in
  sway | gnome | weston) ;;
  *) echo "session.sh: unknown kind $kind" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "session.sh: needs root to make the throwaway user" >&2; exit 2; }

base=$(mktemp -d /tmp/vm-wl-XXXXXX) || exit 2
chmod 755 "$base"
user="vmwl$(basename "$base" | tr -dc 'a-zA-Z0-9' | tr 'A-Z' 'a-z' | tail -c 7)$$"
useradd -M -d "$base/home" -s /bin/sh "$user" || { rm -rf "$base"; exit 2; }
cleanup() {
  # Whatever the user still runs is ours: end it by its ids.
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -TERM "$p" 2>/dev/null; done
  sleep 1
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -KILL "$p" 2>/dev/null; done
  # The X sockets Xwayland left behind.
  find /tmp/.X11-unix -maxdepth 1 -user "$user" -exec rm -f {} + 2>/dev/null
  find /tmp -maxdepth 1 -name '.X*-lock' -user "$user" -exec rm -f {} + 2>/dev/null
  if [ -n "$out" ] && [ -d "$base/out" ]; then
    mkdir -p "$out" && cp -r "$base/out/." "$out/"
  fi
  userdel "$user" 2>/dev/null
  if [ $keep = yes ]; then echo "session.sh: kept $base" >&2; else rm -rf "$base"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$base/bin" "$base/out" "$base/run" "$base/tmp" "$base/home/.config/vistamere"
printf '{"scene": "sea", "welcomed": true}\n' >"$base/home/.config/vistamere/defaults.json"
cp "$here/compositors.sh" "$here/inner.sh" "$base/bin/"
[ -z "$bin" ] || cp "$bin" "$base/bin/vistamere"
for t in $tools; do cp "$t" "$base/bin/"; done
cmd=""
for a in "$@"; do
  if [ -f "$a" ]; then cp "$a" "$base/bin/" && a="$base/bin/$(basename "$a")"; fi
  cmd="$cmd '$(printf '%s' "$a" | sed "s/'/'\\\\''/g")'"
done
chmod -R a+rX "$base/bin"
chown -R "$user" "$base/home" "$base/out" "$base/run" "$base/tmp"
chmod 700 "$base/run"

runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$base/home" USER="$user" LOGNAME="$user" \
  SHELL=/bin/sh LANG=C.UTF-8 TMPDIR="$base/tmp" XDG_RUNTIME_DIR="$base/run" GVFS_DISABLE_FUSE=1 \
  NO_AT_BRIDGE=1 GTK_A11Y=none VM_KIND="$kind" VM_BASE="$base" VM_OUT="$base/out" VM_BIN="$base/bin" \
  dbus-run-session -- sh -c "exec sh '$base/bin/inner.sh' $cmd"
exit $?
