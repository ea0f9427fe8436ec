# Functions for a headless Wayland session (sourced; the environment comes from session.sh).
# session_start / session_stop: the kind's compositor with Xwayland; WAYLAND_DISPLAY, DISPLAY (and
# SWAYSOCK for sway) are exported for what follows.

. "$VM_BIN/throwaway-session.sh"
pids="$XDG_RUNTIME_DIR/pids"
mkdir -p "$pids"

pid_of() { cat "$pids/$1" 2>/dev/null; }

# The X display Xwayland listens on for this user: its socket is the user's.
x_display() {
  s=$(find /tmp/.X11-unix -maxdepth 1 -user "$(id -u)" -name 'X*' 2>/dev/null | head -n 1)
  [ -n "$s" ] || return 1
  echo ":${s##*/X}"
}

sway_start() {
  # No swaybg: sway draws background-layer surfaces in the order they map.
  cat >"$HOME/sway.cfg" <<CFG
xwayland enable
default_border none
CFG
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 spawn sway sway -c "$HOME/sway.cfg"
  await 200 sh -c 'ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock' || return 1
  SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
  export SWAYSOCK
  await 100 swaymsg -t get_version || return 1
  WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-* | grep -v lock | head -n 1)
  export WAYLAND_DISPLAY
  swaymsg output HEADLESS-1 mode 1280x800 >/dev/null
  await 200 x_display || return 1
  DISPLAY=$(x_display)
  export DISPLAY
}

gnome_start() {
  # The shell wants logind on a system bus: a private bus stands in.
  dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/system_bus" --fork --print-pid >"$pids/system-bus"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
  export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME LIBGL_ALWAYS_SOFTWARE=1
  gsettings set org.gnome.shell welcome-dialog-last-shown-version '999'
  gsettings set org.gnome.desktop.notifications show-banners false
  spawn gnome gnome-shell --headless --wayland --wayland-display=wayland-vm --virtual-monitor 1280x800
  await 1200 grep -q 'GNOME Shell started' "$VM_OUT/gnome.log" || return 1
  export WAYLAND_DISPLAY=wayland-vm
  await 300 x_display || return 1
  DISPLAY=$(x_display)
  export DISPLAY
  auth=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
  [ -z "$auth" ] || export XAUTHORITY="$auth"
}

weston_start() {
  spawn weston weston --backend=headless-backend.so --xwayland --socket=wayland-vm --width=1280 --height=800 \
    --idle-time=0
  await 200 test -S "$XDG_RUNTIME_DIR/wayland-vm" || return 1
  export WAYLAND_DISPLAY=wayland-vm
  await 300 x_display || return 1
  DISPLAY=$(x_display)
  export DISPLAY
}

session_start_kind() {
  case $VM_KIND in
    sway) sway_start ;;
    gnome) gnome_start ;;
    weston) weston_start ;;
  esac
}

session_stop() {
  for name in vistamere pointer foot xmessage nested sway gnome weston system-bus; do end "$name"; done
}

session_start() {
  session_start_kind || return 1
  # Services the bus starts (the desktop portal) find the compositor as a login session's would.
  dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY ${XAUTHORITY:+XAUTHORITY} >/dev/null 2>&1
  return 0
}
