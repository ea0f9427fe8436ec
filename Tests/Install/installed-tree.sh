#!/bin/sh
# Usage: installed-tree.sh CMAKE BUILD-DIR SCRATCH APP-ID
# Installs the build into SCRATCH/installed-tree (DESTDIR, prefix /usr) and checks the tree: exactly the
# expected files, the program runs from there, the launcher entry and the metadata are valid and name each
# other, every icon has the size its directory says, and the manual page formats without a warning.
set -u
cmake=$1
build=$2
d=$3/installed-tree
id=$4
fail() { echo "FAIL: $*"; exit 1; }
mkdir -p "$3" && rm -rf "$d"
DESTDIR="$d" "$cmake" --install "$build" --prefix /usr >"$3/installed-tree.log" 2>&1 ||
  fail "cmake --install: $(cat "$3/installed-tree.log")"

sizes="16 22 24 32 48 64 128 256 512"
{
  echo usr/bin/vistamere
  echo "usr/share/applications/$id.desktop"
  echo "usr/share/metainfo/$id.metainfo.xml"
  echo usr/share/man/man1/vistamere.1
  for s in $sizes; do echo "usr/share/icons/hicolor/${s}x$s/apps/$id.png"; done
} | sort >"$d.expected"
(cd "$d" && find . ! -type d | sed 's|^\./||' | sort) >"$d.found"
diff -u "$d.expected" "$d.found" >"$d.diff" || fail "installed files differ: $(cat "$d.diff")"

"$d/usr/bin/vistamere" --help | grep -q -- '--settings' || fail "the installed program's usage lacks --settings"

entry="$d/usr/share/applications/$id.desktop"
out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Exec=vistamere --settings' "$entry" || fail "Exec: $(grep '^Exec' "$entry")"
grep -qx "Icon=$id" "$entry" || fail "Icon: $(grep '^Icon' "$entry")"

meta="$d/usr/share/metainfo/$id.metainfo.xml"
out=$(appstreamcli validate --no-net --pedantic "$meta" 2>&1) || fail "appstreamcli validate: $out"
grep -q "<id>$id</id>" "$meta" || fail "the metadata's id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$meta" || fail "the metadata launches no $id.desktop"
for scene in archipelago canyon orbit city skyline winter reef warzone sea pond; do
  grep -q "/screenshots/$scene-day.png</image>" "$meta" || fail "no screenshot of $scene"
done

for s in $sizes; do
  png="$d/usr/share/icons/hicolor/${s}x$s/apps/$id.png"
  # Width and height: the IHDR chunk's first two big-endian words.
  wh=$(od -An -tu1 -j16 -N8 "$png" | awk '{printf "%d %d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$wh" = "$s $s" ] || fail "$png is $wh"
done

page="$d/usr/share/man/man1/vistamere.1"
out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >"$d.bold") || fail "man: $out"
sed 's/.\x08//g' "$d.bold" >"$d.man"  # no overstruck bold
[ -z "$out" ] || fail "the manual page has warnings: $out"
for section in SYNOPSIS OPTIONS FILES ENVIRONMENT; do
  grep -q "^$section" "$d.man" || fail "the manual page has no $section"
done
rm -rf "$d" "$d.expected" "$d.found" "$d.diff" "$d.bold" "$d.man"
echo "installed tree ok"
