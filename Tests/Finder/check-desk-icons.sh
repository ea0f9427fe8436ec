#!/usr/bin/env bash
# Runs desk-icons on a temporary Desktop holding three entries placed by Caja's metadata key.
# Usage: check-desk-icons.sh path/to/desk-icons   (inside a session bus with gvfs)
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/Desktop" "$dir/config"
for entry in "notes.txt:100,40" "photos:100,160" "report.pdf:900,40"; do
  name=${entry%%:*}
  touch "$dir/Desktop/$name"
  gio set "$dir/Desktop/$name" metadata::caja-icon-position "${entry#*:}"
done
"$1" --source caja --desktop "$dir/Desktop" --config "$dir/config"
