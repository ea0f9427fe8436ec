# Functions for a real-desktop session (sourced; the environment comes from session.sh).
# session_start / session_stop: the kind's window manager, compositor and icon manager.
# manager_start / manager_stop: the icon manager alone. shot NAME: a screenshot of the root window into
# $VM_OUT/NAME.png. await_icons NAME: waits until the icon manager's icons stand still on screen.

. "$VM_BIN/throwaway-session.sh"
background='#3a6ea5'
pids="$XDG_RUNTIME_DIR/pids"
mkdir -p "$pids"

shot() { import -window root "$VM_OUT/$1.png"; }

# The icons find-icons sees in a screenshot: the number, or nothing when the picture could not be read.
icon_count() { "$VM_BIN/find-icons" "$1" 2>/dev/null | sed -n 's/^background [0-9a-f]*, \([0-9]*\) icons,.*/\1/p'; }

# Waits (up to 60 s) until at least six icons show and two screenshots a second apart find the same ones;
# the last one is $VM_OUT/NAME.png.
await_icons() {
  last=""
  n=0
  while [ $n -lt 60 ]; do
    sleep 1
    n=$((n + 1))
    shot "$1" || continue
    now=$("$VM_BIN/find-icons" "$VM_OUT/$1.png" 2>/dev/null)
    count=$(printf '%s\n' "$now" | sed -n 's/^background [0-9a-f]*, \([0-9]*\) icons,.*/\1/p')
    if [ "${count:-0}" -ge 6 ] && [ "$now" = "$last" ]; then
      log "$count icons show after $n s"
      return 0
    fi
    last=$now
  done
  log "no steady icons after 60 s: $now"
  return 1
}

wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

settings() {
  mkdir -p "$HOME/.config/vistamere"
  printf '{"scene": "sea", "welcomed": true}\n' >"$HOME/.config/vistamere/defaults.json"
  "$VM_BIN/plain-root" "${background#\#}"
  case $VM_KIND in
    nemo-*)
      # Cinnamon's background settings, should muffin read them; it and picom show the root's pixmap.
      gsettings set org.cinnamon.desktop.background picture-options none
      gsettings set org.cinnamon.desktop.background primary-color "$background"
      gsettings set org.cinnamon.desktop.background color-shading-type solid
      ;;
    xfdesktop)
      d="$HOME/.config/xfce4/xfconf/xfce-perchannel-xml"
      mkdir -p "$d"
      cat >"$d/xfce4-desktop.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-desktop" version="1.0">
  <property name="backdrop" type="empty">
    <property name="screen0" type="empty">
      <property name="monitorscreen" type="empty">
        <property name="workspace0" type="empty">
          <property name="color-style" type="int" value="0"/>
          <property name="image-style" type="int" value="0"/>
          <property name="rgba1" type="array">
            <value type="double" value="0.227451"/>
            <value type="double" value="0.431373"/>
            <value type="double" value="0.647059"/>
            <value type="double" value="1"/>
          </property>
        </property>
      </property>
    </property>
  </property>
</channel>
XML
      ;;
    pcmanfm)
      mkdir -p "$HOME/.config/pcmanfm/default"
      printf '[desktop]\nwallpaper_mode=color\ndesktop_bg=%s\n' "$background" >"$HOME/.config/pcmanfm/default/pcmanfm.conf"
      ;;
    gnome)
      gsettings set org.gnome.desktop.background picture-uri ''
      gsettings set org.gnome.desktop.background picture-uri-dark ''
      gsettings set org.gnome.desktop.background picture-options none
      gsettings set org.gnome.desktop.background primary-color "$background"
      gsettings set org.gnome.desktop.background color-shading-type solid
      gsettings set org.gnome.shell enabled-extensions "['ding@rastersoft.com']"
      gsettings set org.gnome.shell welcome-dialog-last-shown-version '999'
      gsettings set org.gnome.desktop.notifications show-banners false
      ;;
  esac
}

manager_start() {
  case $VM_KIND in
    nemo-*) spawn nemo nemo-desktop ;;
    xfdesktop) spawn xfdesktop xfdesktop ;;
    pcmanfm) spawn pcmanfm pcmanfm --desktop ;;
    gnome | openbox) return 0 ;;
  esac
}

manager_stop() {
  case $VM_KIND in
    nemo-*) end nemo ;;
    xfdesktop) end xfdesktop ;;
    pcmanfm) end pcmanfm ;;
  esac
}

# Nemo arranges its desktop icons itself while its Auto-arrange is on, as it is for a new user, and then
# puts an icon dropped anywhere back in its place. A user turns it off before placing icons by hand; Nemo
# keeps that in its desktop metadata, which it rewrites as it quits: changed while it is not running.
nemo_free_placement() {
  was_running=no
  [ ! -f "$pids/nemo" ] || { was_running=yes; manager_stop; }
  f="$HOME/.config/nemo/desktop-metadata"
  mkdir -p "${f%/*}"
  if grep -q '^nemo-icon-view-auto-layout=' "$f" 2>/dev/null; then
    sed -i 's/^nemo-icon-view-auto-layout=.*/nemo-icon-view-auto-layout=false/' "$f"
  else
    printf '[desktop-monitor-0]\nnemo-icon-view-auto-layout=false\n' >>"$f"
  fi
  [ $was_running = no ] || { manager_start; await_icons alone; }
}

gnome_start() {
  # The shell wants logind on a system bus: a private bus stands in.
  dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/system_bus" --fork --print-pid >"$pids/system-bus"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
  export XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=GNOME LIBGL_ALWAYS_SOFTWARE=1
  spawn gnome-shell gnome-shell --x11 --replace
  await 600 wm_ready || return 1
  await 1200 grep -q 'GNOME Shell started' "$VM_OUT/gnome-shell.log" || return 1
  # The shell opens on the overview once it has started (which takes a while on a software renderer);
  # the icons are on the desktop beneath. Leave it until the plain background fills nearly all the
  # screen (the overview shows it in a smaller frame).
  n=0
  while [ $n -lt 90 ]; do
    sleep 1
    n=$((n + 1))
    shot overview 2>/dev/null || continue
    plain=$("$VM_BIN/find-icons" "$VM_OUT/overview.png" 2>/dev/null | sed -n 's/^background 3a6ea5, .* icons, \([0-9]*\) % plain$/\1/p')
    [ "${plain:-0}" -lt 85 ] || { rm -f "$VM_OUT/overview.png"; return 0; }
    # Escape, or else a click on Activities, which toggles the overview; time for the animation between.
    case $((n % 8)) in
      5) xdotool key Escape ;;
      1) [ $n -lt 8 ] || xdotool mousemove 40 12 click 1 mousemove 640 12 ;;
    esac
  done
  log "the overview never went away"
  return 1
}

session_start() {
  settings
  case $VM_KIND in
    openbox | pcmanfm) spawn openbox openbox --sm-disable ;;
    nemo-picom | nemo-second)
      spawn openbox openbox --sm-disable
      spawn picom picom --backend xrender
      ;;
    nemo-muffin) LIBGL_ALWAYS_SOFTWARE=1 spawn muffin muffin --replace ;;
    xfdesktop) spawn xfwm4 xfwm4 ;;
    gnome) gnome_start || return 1 ;;
  esac
  await 300 wm_ready || return 1
  case $VM_KIND in
    openbox) shot alone; return 0 ;;
    nemo-second) return 0 ;;
  esac
  manager_start
  await_icons alone
}

session_stop() {
  for name in nemo xfdesktop pcmanfm picom openbox xfwm4 muffin gnome-shell system-bus; do end "$name"; done
}
