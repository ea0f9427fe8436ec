#!/bin/sh
# Usage: upgraded-program.sh SCRATCH PROBE
# The autostart entry's program for a real running process, before and after an upgrade replaces its file
# the way dpkg does (a new file renamed over the old): started by a link on PATH it is the link's path, and
# started straight from its file it is that path, never the kernel's "... (deleted)".
set -u
t=$1/upgraded-program
probe=$2
mkdir -p "$1" && rm -rf "$t" && mkdir -p "$t/opt/1" "$t/usr/bin" "$t/links" || exit 1
fail() { echo "FAIL: $*"; exec 3>&-; wait; rm -rf "$t"; exit 1; }
upgrade() { cp "$probe" "$1.new" && mv "$1.new" "$1"; }

# $1: the program's file, $2: what to start, $3: PATH; the answers land in $t/out.
run() {
  rm -f "$t/go" "$t/out" && mkfifo "$t/go" || exit 1
  PATH=$3 "$2" <"$t/go" >"$t/out" &
  exec 3>"$t/go"
  for i in $(seq 100); do [ -s "$t/out" ] && break; sleep 0.05; done
  upgrade "$1" || fail "could not replace $1"
  echo >&3
  for i in $(seq 100); do [ "$(wc -l <"$t/out")" -ge 2 ] && break; sleep 0.05; done
  exec 3>&-
  wait
}

cp "$probe" "$t/opt/1/vistamere" && ln -s ../opt/1/vistamere "$t/links/vistamere" || exit 1
run "$t/opt/1/vistamere" "$t/links/vistamere" "$t/links:/usr/bin:/bin"
printf '%s\n%s\n' "$t/links/vistamere" "$t/links/vistamere" | cmp -s - "$t/out" ||
  fail "started through a link on PATH: $(cat "$t/out")"

cp "$probe" "$t/usr/bin/vistamere" || exit 1
run "$t/usr/bin/vistamere" "$t/usr/bin/vistamere" "/usr/bin:/bin"
printf '%s\n%s\n' "$t/usr/bin/vistamere" "$t/usr/bin/vistamere" | cmp -s - "$t/out" ||
  fail "started from its file: $(cat "$t/out")"
rm -rf "$t"
echo "upgraded program ok"
