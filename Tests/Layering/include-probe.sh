#!/bin/sh
# Usage: include-probe.sh COMPILER HEADER reaches|blocked [-IDIR...]
# Compiles a file holding only `#include "HEADER"` with the include directories a library linking one
# target sees. "reaches": it must compile. "blocked": the header must not be found, so a library below
# cannot include one above it, nor one it does not link.
compiler=$1 header=$2 expect=$3
shift 3
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
printf '#include "%s"\n' "$header" > "$dir/probe.cpp"
"$compiler" -std=c++20 -fsyntax-only "$@" "$dir/probe.cpp" > "$dir/out" 2>&1
status=$?
case $expect in
  reaches)
    if [ $status -eq 0 ]; then echo "include probe ok: $header reached"; exit 0; fi
    cat "$dir/out"; echo "$header should be reachable but does not compile"; exit 1 ;;
  blocked)
    if [ $status -ne 0 ] && grep -qF "$header: No such file or directory" "$dir/out"; then
      echo "include probe ok: $header blocked"; exit 0
    fi
    cat "$dir/out"; echo "$header should not be found"; exit 1 ;;
esac
echo "usage: include-probe.sh COMPILER HEADER reaches|blocked [-IDIR...]"; exit 2
