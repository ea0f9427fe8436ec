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
session_lib=$(cd "$here/../Tools" && pwd)/throwaway-session.sh
. "$session_lib"
session_size=1280x800
session_options "openbox nemo-picom nemo-muffin nemo-second xfdesktop pcmanfm gnome" "$@"
shift $session_shift
size=$session_size
session_user vmrd vm-real

mkdir -p "$base/home/Desktop"
for d in Documents Pictures Projects; do mkdir "$base/home/Desktop/$d"; done
for f in notes todo readme; do printf 'A file on the desktop: %s\n' "$f" >"$base/home/Desktop/$f.txt"; done
cp "$here/kinds.sh" "$here/inner.sh" "$base/bin/"
session_install "$@"

# A display number of its own to start from for each session: servers started side by side by xvfb-run -a
# from the same number race for it.
server=$(( 100 + $$ % 800 ))
session_run VM_SIZE="$size" xvfb-run -a -n "$server" -s "-screen 0 ${size}x24 -noreset" \
  dbus-run-session -- sh -c "exec sh '$base/bin/inner.sh' $cmd"
status=$?
exit $status
