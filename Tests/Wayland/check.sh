#!/bin/sh
# Usage (inside session.sh): check.sh CHECK
# sway:   Scene    the scene fills both outputs (the second one at scale 2) on the background layer
#         Above    a window opened later covers the scene and has the focus; sway's tree holds no window of ours
#         Outputs  an output added while running gets the scene; one removed leaves us running on the rest
#         Ripple   a click on bare water ripples
#         Cpu      what we and sway take of a core while the scene animates (reported)
# gnome:  Below    through Xwayland, our DESKTOP window stays below a window opened later
# weston: NoCover  no window of ours shows over the screen, the reason is said, the launcher's start opens
#                  the settings window
set -u
. "$VM_BIN/compositors.sh"
test=$1
plog="$VM_OUT/vistamere-$test.log"
vm=""

fail() {
  echo "FAIL ($VM_KIND $test): $*"
  [ -f "$plog" ] && grep 'vistamere:' "$plog" | tail -n 30
  # Whether the compositor went first tells its fault from ours; its log says why it let a client go.
  c=$(pid_of "$VM_KIND")
  if [ -n "$c" ] && kill -0 "$c" 2>/dev/null; then echo "$VM_KIND still runs"; else echo "$VM_KIND has ended"; fi
  [ -f "$VM_OUT/$VM_KIND.log" ] && tail -n 15 "$VM_OUT/$VM_KIND.log"
  [ -z "$vm" ] || kill -TERM "$vm" 2>/dev/null
  exit 1
}

vm_start() {
  VISTAMERE_TRACE=1 "$VM_BIN/vistamere" >>"$plog" 2>&1 &
  vm=$!
  echo "$vm" >"$pids/vistamere"
}

alive() { kill -0 "$vm" 2>/dev/null || fail "the program ended"; }

# Waits up to $2 seconds for a line matching $1 in the log.
await_log() { await $(($2 * 10)) grep -q "$1" "$plog" || fail "no '$1' in the log within $2 s"; }

# How many colours a picture holds: a plain background has one, the scene thousands.
colours() { convert "$1" -format '%k' info: 2>/dev/null; }
# The mean brightness of a picture, 0 to 1.
brightness() { convert "$1" -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null; }
is_scene() {
  n=$(colours "$1")
  log "$1: ${n:-no} colours"
  [ "${n:-0}" -ge 2000 ]
}
# Width x height of a picture.
size_of() { identify -format '%wx%h' "$1" 2>/dev/null; }

case $VM_KIND/$test in
  sway/Scene)
    swaymsg create_output >/dev/null || fail "no second output"
    swaymsg output HEADLESS-2 mode 1024x768 position 1280 0 scale 2 >/dev/null
    grim -o HEADLESS-1 "$VM_OUT/bare.png"
    vm_start
    await_log 'showing .* on monitor 1' 60
    sleep 2
    grim -o HEADLESS-1 "$VM_OUT/output-1.png" && grim -o HEADLESS-2 "$VM_OUT/output-2.png" || fail "grim failed"
    is_scene "$VM_OUT/bare.png" && fail "the bare background already looks like a scene"
    is_scene "$VM_OUT/output-1.png" || fail "no scene on the first output"
    is_scene "$VM_OUT/output-2.png" || fail "no scene on the second output"
    # The second output's 512 × 384 points at scale 2: a buffer of its full 1024 × 768 pixels.
    [ "$(size_of "$VM_OUT/output-2.png")" = 1024x768 ] || fail "the second output's picture is $(size_of "$VM_OUT/output-2.png")"
    grep -q 'background layer' "$plog" && fail "the program says it has no background layer"
    alive
    vm_quit
    ;;
  sway/Above)
    vm_start
    await_log 'showing .* on monitor 0' 60
    sleep 2
    grim "$VM_OUT/before.png"
    is_scene "$VM_OUT/before.png" || fail "no scene before the window opened"
    spawn foot foot -o colors.background=ffffff -o colors.foreground=ffffff
    await 300 sh -c 'swaymsg -t get_tree | grep -q "\"app_id\": \"foot\""' || fail "foot never mapped"
    sleep 2
    grim "$VM_OUT/with-window.png"
    swaymsg -t get_tree >"$VM_OUT/tree.json"
    b=$(brightness "$VM_OUT/with-window.png")
    log "brightness with the window open: $b"
    awk -v b="$b" 'BEGIN { exit !(b > 0.9) }' || fail "the scene shows over the later window (brightness $b)"
    # Criteria that match only the focused node, and only if it is foot's.
    swaymsg '[app_id="^foot$" con_id=__focused__] mark --add focused-foot' >/dev/null || fail "foot does not have the focus"
    grep -qi vistamere "$VM_OUT/tree.json" && fail "sway's tree lists a Vistamere window"
    end foot
    sleep 2
    grim "$VM_OUT/after.png"
    is_scene "$VM_OUT/after.png" || fail "the scene did not come back after the window closed"
    alive
    vm_quit
    ;;
  sway/Outputs)
    # sway 1.7 cannot take a headless output away, so the program runs on a sway nested in this one, whose
    # outputs are windows here: closing one unplugs that output.
    outer=$SWAYSOCK
    printf 'xwayland disable\ndefault_border none\n' >"$HOME/nested.cfg"
    before=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
    WLR_BACKENDS=wayland WLR_RENDERER=pixman spawn nested sway -c "$HOME/nested.cfg"
    await 200 sh -c "ls '$XDG_RUNTIME_DIR'/sway-ipc.*.sock | grep -v -F '$before'" || fail "the nested sway did not start"
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | grep -v -F "$before" | head -n 1)
    export SWAYSOCK
    await 100 swaymsg -t get_version || fail "the nested sway does not answer"
    WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-* | grep -v -e lock -e "^$WAYLAND_DISPLAY\$" | head -n 1)
    export WAYLAND_DISPLAY
    log "nested sway on $WAYLAND_DISPLAY"
    vm_start
    await_log 'showing .* on monitor 0' 60
    swaymsg create_output >/dev/null || fail "no second output"
    await_log 'showing .* on monitor 1' 60
    sleep 2
    grim -o WL-2 "$VM_OUT/added.png" || fail "grim failed"
    is_scene "$VM_OUT/added.png" || fail "no scene on the output added"
    mark=$(wc -l <"$plog")
    SWAYSOCK=$outer swaymsg '[title="WL-2$"] kill' >/dev/null || fail "the output's window could not be closed"
    await 600 sh -c "tail -n +$((mark + 1)) '$plog' | grep -q 'showing .* on monitor 0'" ||
      fail "no new picture after the output went"
    sleep 3
    tail -n +$((mark + 1)) "$plog" | grep 'vistamere: [0-9]* output' | tail -n 1 | grep -q 'vistamere: 1 output:' ||
      fail "the program did not follow the output that went"
    tail -n +$((mark + 1)) "$plog" | grep -q 'showing .* on monitor 1' && fail "a picture for the output that went"
    swaymsg -t get_outputs | grep -q '"WL-2"' && fail "the output is still there"
    grim -o WL-1 "$VM_OUT/removed.png" || fail "grim failed"
    is_scene "$VM_OUT/removed.png" || fail "no scene on the remaining output"
    alive
    vm_quit
    ;;
  sway/Ripple)
    # A seat without a pointer device sends no clicks: a virtual pointer gives it one.
    spawn pointer "$VM_BIN/virtual-pointer"
    await 100 grep -q ready "$VM_OUT/pointer.log" || fail "no virtual pointer"
    # No icon manager here: the layout file says where the icons are, one at 200,150 from the top left.
    printf '{"centers": [[200, 150]], "iconSize": 64, "textSize": 12, "labelPosition": "bottom"}\n' \
      >"$HOME/.config/vistamere/desktop-icons.json"
    vm_start
    await_log 'showing .* on monitor 0' 60
    await_log 'icon layout changed' 60
    sleep 2
    for at in "640 400" "300 200" "900 600" "200 650" "1100 150" "500 550" "200 150"; do
      swaymsg seat seat0 cursor set $at >/dev/null
      swaymsg seat seat0 cursor press button1 >/dev/null
      swaymsg seat seat0 cursor release button1 >/dev/null
      sleep 0.5
    done
    grim "$VM_OUT/clicked.png"
    grep 'click at' "$plog"
    [ "$(grep -c 'click at' "$plog")" -ge 7 ] || fail "not every click reached the program"
    grep -q 'click at 200,650: icon' "$plog" || fail "a click on the icon of the layout file was taken for water"
    grep -q 'click at .*: ripple' "$plog" || fail "no click on bare water rippled"
    # sway's y runs down, ours up from the bottom of the 800-point output: the first click lands at 640,400.
    grep -q 'click at 640,400:' "$plog" || fail "the first click landed elsewhere"
    # A wobble of two points is still a click, a drag of sixty none.
    mark=$(grep -c 'click at' "$plog")
    "$VM_BIN/virtual-pointer" drag 300 300 302 301 1280 800 || fail "the virtual pointer could not press"
    sleep 1
    [ "$(grep -c 'click at' "$plog")" -eq $((mark + 1)) ] || fail "a press and release two points apart made no click"
    grep -q 'click at 300,500:' "$plog" || fail "the wobbling click landed elsewhere"
    mark=$((mark + 1))
    "$VM_BIN/virtual-pointer" drag 640 400 700 400 1280 800 || fail "the virtual pointer could not drag"
    sleep 1
    [ "$(grep -c 'click at' "$plog")" -eq "$mark" ] || fail "a drag counted as a click"
    end pointer
    alive
    vm_quit
    ;;
  sway/Cpu)
    # Jiffies of a process, user and system.
    ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
    hz=$(getconf CLK_TCK)
    sway=$(pid_of sway)
    s0=$(ticks "$sway"); sleep 10; s1=$(ticks "$sway")
    idle=$(( (s1 - s0) * 100 / hz / 10 ))
    vm_start
    await_log 'showing .* on monitor 0' 60
    sleep 10
    # Minor page faults too: a toolkit that takes a fresh buffer for every frame touches new pages each time.
    faults() { awk '{ print $10 }' "/proc/$1/stat"; }
    v0=$(ticks "$vm"); s0=$(ticks "$sway"); f0=$(faults "$vm")
    sleep 20
    v1=$(ticks "$vm"); s1=$(ticks "$sway"); f1=$(faults "$vm")
    echo "cpu: vistamere $(( (v1 - v0) * 100 / hz / 20 )) % of a core, sway $(( (s1 - s0) * 100 / hz / 20 )) % (sway alone before: $idle %), vistamere $(( (f1 - f0) / 20 )) page faults a second; 1280x800 at scale 1, pixman renderer"
    alive
    vm_quit
    ;;
  gnome/Below)
    vm_start
    await_log 'showing .* on monitor 0' 120
    sleep 3
    grep -q 'background layer' "$plog" && fail "the program says it has no desktop window"
    ours=$(xwininfo -root -tree | grep '"Vistamere desktop"' | awk '{ print $1 }' | head -n 1)
    [ -n "$ours" ] || fail "no desktop window of ours on Xwayland"
    xprop -id "$ours" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_DESKTOP || fail "our window is no DESKTOP window"
    spawn xmessage xmessage -geometry 600x400+100+100 "a later window"
    await 300 sh -c 'xwininfo -root -tree | grep -q xmessage' || fail "xmessage never mapped"
    sleep 2
    later=$(xwininfo -root -tree | grep -i 'xmessage' | awk '{ print $1 }' | head -n 1)
    stack=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //' | tr -d ',')
    log "stacking: $stack; ours $ours, later $later"
    pos() { i=0; for w in $stack; do i=$((i + 1)); [ "$((w))" != "$(($1))" ] || { echo $i; return; }; done; echo 0; }
    po=$(pos "$ours"); pl=$(pos "$later")
    [ "$po" -gt 0 ] && [ "$pl" -gt 0 ] || fail "a window is missing from the stacking list (ours $po, later $pl)"
    [ "$po" -lt "$pl" ] || fail "our window is above the later one"
    alive
    vm_quit
    ;;
  weston/NoCover)
    vm_start
    await_log 'offers no background layer' 60
    grep 'background layer' "$plog"
    grep -q 'no status notifier host' "$plog" || fail "no word of the missing status host"
    sleep 5
    alive
    xwininfo -root -tree >"$VM_OUT/x-tree.txt"
    grep -q '"Vistamere desktop"' "$VM_OUT/x-tree.txt" && fail "a desktop window of ours exists on Xwayland"
    # No status item: the application launcher's start opens the settings in the running program.
    "$VM_BIN/vistamere" --settings >>"$VM_OUT/second-start.log" 2>&1
    await 200 sh -c 'xwininfo -root -tree | grep -q "Vistamere Settings"' || fail "the launcher's start opened no settings window"
    xwininfo -root -tree | grep -q '"Vistamere desktop"' && fail "a desktop window of ours appeared"
    alive
    vm_quit
    ;;
  *) fail "no check $test for $VM_KIND" ;;
esac
echo "wayland $VM_KIND $test ok"
