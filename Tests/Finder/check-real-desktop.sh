#!/usr/bin/env bash
# Runs a real icon manager (xfdesktop with xfwm4, or PCManFM with openbox) on a plain background in a
# fresh home with a Desktop of three folders and three files, under Xvfb and a bus of its own; reads its
# layout with desk-icons and compares every centre with the icons found on a screenshot of the screen.
# PCManFM is checked fresh and again after a folder is dragged.
# Usage: check-real-desktop.sh xfdesktop|pcmanfm DESK-ICONS ICON-SPOTS OUTDIR   (screenshots go to OUTDIR)
set -euo pipefail
manager=$1 deskicons=$2 spots=$3 out=$4

# Every centre the reader gives must have an icon on the screenshot within 4 points, and the counts agree.
compare() {  # compare NAME
  "$spots" "$out/$1.png" 48 >"$out/$1-spots.txt"
  "$deskicons" "${reader[@]}" >"$out/$1-reader.txt" || true
  awk -v name="$1" '
    BEGIN { n = 0; m = 0 }
    FNR == NR { sx[n] = $1; sy[n] = $2; n++; next }
    /^  \(/ { gsub(/[(),]/, " "); x = $1; y = $2; m++
              best = 1e9; for (i = 0; i < n; i++) { d = sqrt((sx[i]-x)^2 + (sy[i]-y)^2); if (d < best) best = d }
              printf "%s: reader (%g, %g), nearest icon %.1f px away\n", name, x, y, best
              if (best > 4) bad++ }
    END { if (m != n) { printf "%s: the reader gives %d icons, the screenshot shows %d\n", name, m, n; bad++ }
          if (bad) { print name ": MISMATCH"; exit 1 } }' "$out/$1-spots.txt" "$out/$1-reader.txt"
}

wait_for() {  # wait_for FILE [TEXT]: up to 60 s (a loaded machine starts the managers slowly)
  for _ in $(seq 600); do
    if [ -e "$1" ] && { [ -z "${2:-}" ] || grep -q "$2" "$1"; }; then return 0; fi
    sleep 0.1
  done
  echo "no $1 ${2:-}"; return 1
}

if [ "${INSIDE:-}" = 1 ]; then
  [ -n "${TRACE:-}" ] && set -x
  if [ "$manager" = xfdesktop ]; then
    xfwm4 --compositor=off >"$out/wm.log" 2>&1 &
    sleep 1
    xfdesktop >"$out/manager.log" 2>&1 &
    wait_for "$XDG_CONFIG_HOME/xfce4/desktop/icons.screen.latest.rc"
    sleep 2  # drawn a moment after the file is written
    import -window root "$out/fresh.png"
    reader=(--source xfdesktop --config "$XDG_CONFIG_HOME")
    status=0; compare fresh || status=1
    xfdesktop --quit || true
  else
    openbox >"$out/wm.log" 2>&1 &
    sleep 1
    pcmanfm --desktop >"$out/manager.log" 2>&1 &
    items="$XDG_CONFIG_HOME/pcmanfm/default/desktop-items-0.conf"
    wait_for "$items"
    sleep 2
    import -window root "$out/fresh.png"
    reader=(--source pcmanfm --desktop "$HOME/Desktop" --config "$XDG_CONFIG_HOME" --workarea 1024x768)
    status=0; compare fresh || status=1
    # The first folder, under the trash, dragged to the middle of the screen the user's way.
    xdotool mousemove 60 139 mousedown 1 sleep 0.3 mousemove 200 200 sleep 0.3 mousemove 480 300 sleep 0.3 \
      mousemove 500 300 sleep 0.3 mouseup 1
    wait_for "$items" '^\[alpha\]'
    xdotool mousemove 1000 700 click 1
    sleep 1
    import -window root "$out/dragged.png"
    compare dragged || status=1
  fi
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  [ $status = 0 ] && echo "all icons matched"
  exit $status
fi

rm -rf "$out"
mkdir -p "$out"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# GSettings in memory: no dconf service to outlive the session.
export GSETTINGS_BACKEND=memory
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache XDG_DATA_HOME=$home/.local/share
mkdir -p "$HOME/Desktop"
for d in alpha beta gamma; do mkdir "$HOME/Desktop/$d"; done
for f in one.txt two.txt three.txt; do echo x >"$HOME/Desktop/$f"; done
# All written in one second, so the managers order them by name.
touch -d '2024-01-01 12:00:00' "$HOME/Desktop"/*
if [ "$manager" = xfdesktop ]; then
  # A plain background, 48-point icons, no Home, File System or Trash icons.
  mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
  cat >"$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="backdrop" type="empty">
    <property name="screen0" type="empty">
      <property name="monitorscreen" type="empty">
        <property name="workspace0" type="empty">
          <property name="color-style" type="int" value="0"/>
          <property name="image-style" type="int" value="0"/>
          <property name="rgba1" type="array">
            <value type="double" value="0.2"/><value type="double" value="0.4"/>
            <value type="double" value="0.6"/><value type="double" value="1"/>
          </property>
        </property>
      </property>
    </property>
  </property>
  <property name="desktop-icons" type="empty">
    <property name="icon-size" type="uint" value="48"/>
    <property name="file-icons" type="empty">
      <property name="show-home" type="bool" value="false"/>
      <property name="show-filesystem" type="bool" value="false"/>
      <property name="show-trash" type="bool" value="false"/>
      <property name="show-removable" type="bool" value="false"/>
    </property>
  </property>
</channel>
XML
fi
# Services the bus starts may outlive it: their output goes to files, not to whoever runs this, and what is
# left of this home's session is ended by its process ids.
status=0
INSIDE=1 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" dbus-run-session -- "$0" "$@" >"$out/result.txt" \
  2>"$out/stderr.log" </dev/null || status=$?
for p in /proc/[0-9]*; do
  if tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "HOME=$home"; then kill "${p#/proc/}" 2>/dev/null || true; fi
done
cat "$out/result.txt"
exit $status
