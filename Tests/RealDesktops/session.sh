#!/bin/sh
# Usage: session.sh KIND [--size WxH] [--bin VISTAMERE] [--tool FILE]... [--out DIR] [--keep] COMMAND [ARG...]
# Runs COMMAND in a desktop session of the kind KIND, as a throwaway user (icon managers refuse root) with a
# fresh home whose Desktop holds three folders and three text files, on a virtual screen of its own
# (xvfb-run) under a session bus of its own (dbus-run-session), on a plain background. The kind's programs
# are started and awaited before COMMAND runs; COMMAND may use the functions of kinds.sh. The binary and
# the --tool files are copied where that user can run them; what COMMAND writes to $VM_OUT lands in
# --out. Everything is removed afterwards (the home is kept with --keep). COMMAND's status is the script's.
# Kinds: openbox nemo-picom nemo-muffin nemo-second xfdesktop pcmanfm gnome.
set -u
here=$(cd "$(dirname "$0")" && pwd)
kind=${1:?usage: session.sh KIND [options] COMMAND...}
shift
size=1280x800
bin=""
tools=""
out=""
keep=no
while [ $# -gt 0 ]; do
  case $1 in
    --size) size=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --tool) tools="$tools $2"; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --keep) keep=yes; shift ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "session.sh: no command" >&2; exit 2; }
case $kind in
  openbox | nemo-picom | nemo-muffin | nemo-second | xfdesktop | pcmanfm | gnome) ;;
  *) echo "session.sh: unknown kind $kind" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "session.sh: needs root to make the throwaway user" >&2; exit 2; }

base=$(mktemp -d /tmp/vm-real-XXXXXX) || exit 2
chmod 755 "$base"
user="vmrd$(basename "$base" | tr -dc 'a-zA-Z0-9' | tr 'A-Z' 'a-z' | tail -c 7)$$"
useradd -M -d "$base/home" -s /bin/sh "$user" || { rm -rf "$base"; exit 2; }
cleanup() {
  # Whatever the user still runs is ours: end it by its ids.
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -TERM "$p" 2>/dev/null; done
  sleep 1
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -KILL "$p" 2>/dev/null; done
  if [ -n "$out" ] && [ -d "$base/out" ]; then
    mkdir -p "$out" && cp -r "$base/out/." "$out/"
  fi
  userdel "$user" 2>/dev/null
  if [ $keep = yes ]; then echo "session.sh: kept $base" >&2; else rm -rf "$base"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$base/bin" "$base/out" "$base/run" "$base/tmp" "$base/home/Desktop"
for d in Documents Pictures Projects; do mkdir "$base/home/Desktop/$d"; done
for f in notes todo readme; do printf 'A file on the desktop: %s\n' "$f" >"$base/home/Desktop/$f.txt"; done
cp "$here/kinds.sh" "$here/inner.sh" "$base/bin/"
[ -z "$bin" ] || cp "$bin" "$base/bin/vistamere"
for t in $tools; do cp "$t" "$base/bin/"; done
# COMMAND's own files (scripts named by path) go along.
cmd=""
for a in "$@"; do
  if [ -f "$a" ]; then cp "$a" "$base/bin/" && a="$base/bin/$(basename "$a")"; fi
  cmd="$cmd '$(printf '%s' "$a" | sed "s/'/'\\\\''/g")'"
done
chmod -R a+rX "$base/bin"
chown -R "$user" "$base/home" "$base/out" "$base/run" "$base/tmp"
chmod 700 "$base/run"

# A display number of its own to start from for each session: servers started side by side by xvfb-run -a
# from the same number race for it.
server=$(( 100 + $$ % 800 ))
runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$base/home" USER="$user" LOGNAME="$user" \
  SHELL=/bin/sh LANG=C.UTF-8 TMPDIR="$base/tmp" XDG_RUNTIME_DIR="$base/run" GVFS_DISABLE_FUSE=1 \
  NO_AT_BRIDGE=1 VM_KIND="$kind" VM_SIZE="$size" VM_BASE="$base" VM_OUT="$base/out" VM_BIN="$base/bin" \
  xvfb-run -a -n "$server" -s "-screen 0 ${size}x24 -noreset" \
  dbus-run-session -- sh -c "exec sh '$base/bin/inner.sh' $cmd"
status=$?
exit $status
