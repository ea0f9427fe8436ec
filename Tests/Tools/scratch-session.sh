#!/bin/sh
# Usage: scratch-session.sh [--no-bus] PARENT COMMAND [ARG...]
# Runs COMMAND with HOME, the XDG directories and TMPDIR in a fresh folder below PARENT, under a session bus
# of its own (so gvfs metadata goes to a store of its own, never the user's), or with --no-bus under an
# address where no bus answers. The folder is removed afterwards; COMMAND's status is the script's.
bus=yes
if [ "${1:-}" = "--no-bus" ]; then bus=no; shift; fi
t=$(mktemp -d "$1/session-XXXXXX") || exit 1
shift
mkdir -p "$t/home" "$t/data" "$t/config" "$t/cache" "$t/tmp" || exit 1
# No FUSE mount of gvfs: one left behind in the build tree breaks every later tree walk.
export GVFS_DISABLE_FUSE=1 HOME="$t/home" XDG_DATA_HOME="$t/data" XDG_CONFIG_HOME="$t/config" XDG_CACHE_HOME="$t/cache" TMPDIR="$t/tmp"
if [ $bus = yes ]; then
  dbus-run-session -- "$@"
else
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus DISPLAY= "$@"
fi
status=$?
# The metadata daemon writes its journal out as the bus goes away: remove the folder once it stays gone.
for i in 1 2 3 4 5 6 7 8 9 10; do
  sleep 0.2; rm -rf "$t" 2>/dev/null; sleep 0.2; [ -e "$t" ] || break
done
exit $status
