# What the real-session test scripts share (sourced). Outside the session, as root: the options, the
# throwaway user with a fresh home, copying the files it runs, running a command as it, and ending and
# removing all of it. Inside the session: waiting, starting and ending programs by name, quitting the
# program under test.

# Reads the KIND and the options session.sh takes before its COMMAND into kind, bin, tools, out, keep (and
# session_size where it is set beforehand); $1 is the kinds known, session_shift how many arguments were
# taken.
session_options() {
  known=$1
  shift
  kind=${1:?usage: session.sh KIND [options] COMMAND...}
  shift
  session_shift=1
  bin=""
  tools=""
  out=""
  keep=no
  while [ $# -gt 0 ]; do
    case $1 in
      --size) [ -n "${session_size+set}" ] || break; session_size=$2; shift 2; session_shift=$((session_shift + 2)) ;;
      --bin) bin=$2; shift 2; session_shift=$((session_shift + 2)) ;;
      --tool) tools="$tools $2"; shift 2; session_shift=$((session_shift + 2)) ;;
      --out) out=$2; shift 2; session_shift=$((session_shift + 2)) ;;
      --keep) keep=yes; shift; session_shift=$((session_shift + 1)) ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || { echo "session.sh: no command" >&2; exit 2; }
  for k in $known; do [ "$k" != "$kind" ] || return 0; done
  echo "session.sh: unknown kind $kind" >&2
  exit 2
}

# Makes the throwaway user (name prefix $1) and its folder $base under /tmp (prefix $2): home, bin, out,
# run, tmp. Icon managers and compositors refuse root. All of it goes when the script exits.
session_user() {
  [ "$(id -u)" -eq 0 ] || { echo "session.sh: needs root to make the throwaway user" >&2; exit 2; }
  base=$(mktemp -d "/tmp/$2-XXXXXX") || exit 2
  chmod 755 "$base"
  user="$1$(basename "$base" | tr -dc 'a-zA-Z0-9' | tr 'A-Z' 'a-z' | tail -c 7)$$"
  useradd -M -d "$base/home" -s /bin/sh "$user" || { rm -rf "$base"; exit 2; }
  trap session_cleanup EXIT
  trap 'exit 130' INT TERM
  mkdir -p "$base/bin" "$base/out" "$base/run" "$base/tmp" "$base/home"
}

session_cleanup() {
  # Whatever the user still runs is ours: end it by its ids.
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -TERM "$p" 2>/dev/null; done
  sleep 1
  for p in $(pgrep -u "$user" 2>/dev/null); do kill -KILL "$p" 2>/dev/null; done
  # The X sockets and locks a display server killed before its time left behind.
  find /tmp/.X11-unix -maxdepth 1 -user "$user" -exec rm -f {} + 2>/dev/null
  find /tmp -maxdepth 1 -name '.X*-lock' -user "$user" -exec rm -f {} + 2>/dev/null
  if [ -n "$out" ] && [ -d "$base/out" ]; then
    mkdir -p "$out" && cp -r "$base/out/." "$out/"
  fi
  userdel "$user" 2>/dev/null
  if [ $keep = yes ]; then echo "session.sh: kept $base" >&2; else rm -rf "$base"; fi
}

# Copies this file, the binary and the tools into $base/bin, hands the user its folders, and sets cmd to
# COMMAND ($@) quoted for sh -c. COMMAND's own files (scripts named by path) go along.
session_install() {
  cp "$session_lib" "$base/bin/"
  [ -z "$bin" ] || cp "$bin" "$base/bin/vistamere"
  for t in $tools; do cp "$t" "$base/bin/"; done
  cmd=""
  for a in "$@"; do
    if [ -f "$a" ]; then cp "$a" "$base/bin/" && a="$base/bin/$(basename "$a")"; fi
    cmd="$cmd '$(printf '%s' "$a" | sed "s/'/'\\\\''/g")'"
  done
  chmod -R a+rX "$base/bin"
  chown -R "$user" "$base/home" "$base/out" "$base/run" "$base/tmp"
  chmod 700 "$base/run"
}

# Runs a command as the user in a bare environment of its own, with the session's variables; leading
# NAME=VALUE arguments add to them.
session_run() {
  runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$base/home" USER="$user" LOGNAME="$user" \
    SHELL=/bin/sh LANG=C.UTF-8 TMPDIR="$base/tmp" XDG_RUNTIME_DIR="$base/run" GVFS_DISABLE_FUSE=1 \
    NO_AT_BRIDGE=1 VM_KIND="$kind" VM_BASE="$base" VM_OUT="$base/out" VM_BIN="$base/bin" "$@"
}

log() { echo "session: $*"; }

# Waits up to $1 tenths of a second until command $2... succeeds.
await() {
  limit=$1
  shift
  n=0
  while ! "$@" >/dev/null 2>&1; do
    n=$((n + 1))
    [ $n -le "$limit" ] || return 1
    sleep 0.1
  done
}

# Starts a program in the background under a name, its output into $VM_OUT/NAME.log.
spawn() {
  name=$1
  shift
  "$@" >>"$VM_OUT/$name.log" 2>&1 &
  echo $! >"$pids/$name"
}

# Ends the program started under a name, and waits until it has gone.
end() {
  [ -f "$pids/$1" ] || return 0
  p=$(cat "$pids/$1")
  rm -f "$pids/$1"
  kill -TERM "$p" 2>/dev/null || return 0
  await 100 sh -c "! kill -0 $p" || kill -KILL "$p" 2>/dev/null
}

# Ends the program under test ($vm) with SIGTERM; it must go within 15 s and with status 0 (else the
# check script's fail).
vm_quit() {
  kill -TERM "$vm"
  await 150 sh -c "! kill -0 $vm" || fail "the program did not end within 15 s of SIGTERM"
  wait "$vm"
  code=$?
  vm=""
  [ $code -eq 0 ] || fail "the program ended with status $code on SIGTERM"
}
