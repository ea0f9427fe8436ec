#!/bin/sh
# The command line's answers: each case gives the exit status and a pattern the whole of stderr must match,
# on one line. Failures name the path and the system's own reason; mistakes give the usage; nothing aborts.
vistamere=$1
out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
mkfifo "$out/fifo"
failed=0
check() {
  want=$1 pattern=$2
  shift 2
  "$vistamere" "$@" >"$out/stdout" 2>"$out/stderr" </dev/null
  got=$?
  lines=$(wc -l <"$out/stderr")
  if [ "$got" -ne "$want" ] || [ "$lines" -ne 1 ] || ! grep -Eq "$pattern" "$out/stderr"; then
    echo "FAILED: vistamere $*: status $got (want $want), $lines lines of stderr:"
    cat "$out/stderr"
    failed=1
  fi
}
check 1 '^vistamere: --icon: writing /dev/full: No space left on device$' --icon /dev/full
check 1 "^vistamere: --icon: writing $out/none/x.png: No such file or directory\$" --icon "$out/none/x.png"
check 1 '^vistamere: --icon: writing /proc/x: ' --icon /proc/x
check 1 "^vistamere: --icon: writing $out: Is a directory\$" --icon "$out"
check 1 "^vistamere: --icon: writing $out/fifo: No such device or address\$" --icon "$out/fifo"
check 1 '^vistamere: --selftest: /dev/null: Not a directory$' --selftest /dev/null
check 1 "^vistamere: --selftest: $out/none: No such file or directory\$" --selftest "$out/none"
check 2 '^usage: ' --icon "$out/a.png" --bogus
check 2 '^usage: ' foo --icon
check 2 '^usage: ' --icon
check 2 '^usage: ' --bogus
check 2 '^usage: ' --selftest "$out" extra
check 2 '^usage: ' --help --icon "$out/b.png"
check 2 '^vistamere: --icon needs the path' --icon ''
[ -c /dev/full ] || { echo "FAILED: /dev/full is gone"; failed=1; }
[ ! -e "$out/a.png" ] && [ ! -e "$out/b.png" ] || { echo "FAILED: a mistaken command line wrote a file"; failed=1; }
"$vistamere" --help >"$out/stdout" 2>&1 && grep -q '^usage: ' "$out/stdout" || { echo "FAILED: --help"; failed=1; }
[ $failed -eq 0 ] && echo "command line ok"
