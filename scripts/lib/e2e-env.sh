# shellcheck shell=bash
# Sourced by the end-to-end scripts (scripts/e2e-x11.sh, scripts/e2e-wayland.sh):
# what they share of setting up and taking down a test session. A session is
#   - a network namespace made by the script (never the host's own network),
#   - a private mount namespace in which the staged package lies over /usr, with
#     the source tree's skin hidden (e2e_overlay_stage),
#   - a display (Xvfb: e2e_start_xvfb) or a compositor started by the script,
#   - an unprivileged user (nobody) with its own home, config and 0700 runtime
#     folder (e2e_user_session, e2e_as_user) and, when asked, its own D-Bus
#     session with the accessibility bus (e2e_session_bus).
# The including script sets e2e_tag (the word its messages start with) first.

readonly e2e_uid=65534  # nobody
readonly e2e_desktop_id=com.kestrilon.orvandel

fail() {
  echo "${e2e_tag^^} FAILED: $*" >&2
  exit 1
}
log() { echo "$e2e_tag: $*"; }

wait_for() {  # seconds, command...: polls the command every 0.2 s
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# Ends the given processes (empty arguments are skipped): TERM, then KILL.
e2e_stop() {
  local pids=() p
  for p in "$@"; do [[ -n $p ]] && pids+=("$p"); done
  ((${#pids[@]})) || return 0
  kill "${pids[@]}" 2>/dev/null
  sleep 0.5
  kill -KILL "${pids[@]}" 2>/dev/null
  wait "${pids[@]}" 2>/dev/null
  return 0
}

# Outside: root, the tools, and the skin folder a build falls back to (empty when
# the build has none).
e2e_require_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "SKIPPED: $1 needs root (network and mount namespaces)"
    exit 0
  fi
}
e2e_require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "'$tool' is missing (scripts/install-deps.sh --test)"
  done
}
e2e_source_resources() {
  sed -n 's/^#define ORVANDEL_SOURCE_RESOURCES "\(.*\)"$/\1/p' "$1/generated/build_config.h"
}

# Outside: copies the named files of the work folder to OUT_DIR as PREFIX<name>.
e2e_keep() {
  local work=$1 out=$2 prefix=$3 f
  shift 3
  for f in "$@"; do
    [[ -f $work/$f ]] && cp "$work/$f" "$out/$prefix$f"
  done
  return 0
}

# Inside the mount namespace: the staged package over the real /usr, read-only, so
# the window finds its skin and the menu entry its launcher exactly where the
# package puts them, and no fallback to the source tree's images. Sets
# e2e_launcher to the menu entry's command.
e2e_overlay_stage() {
  local stage=$1 source_resources=$2 d overlaid=1
  for d in bin libexec share; do
    if [[ -d $stage/usr/$d ]] &&
      ! mount -t overlay "orvandel-$d" -o "lowerdir=$stage/usr/$d:/usr/$d" "/usr/$d" 2>/dev/null; then
      overlaid=0
    fi
  done
  local desktop=/usr/share/applications/$e2e_desktop_id.desktop
  if ((overlaid)); then
    if [[ -n $source_resources && -d $source_resources ]]; then
      mount -t tmpfs -o ro,size=1m orvandel-hidden "$source_resources"
    fi
  else
    log "NOTE: overlay mounts are not available; running from the staging folder" \
      "(the skin may come from the source tree)"
    desktop=$stage$desktop
  fi
  [[ -f $desktop ]] || fail "no desktop entry at $desktop"
  e2e_launcher=$(sed -n 's/^Exec=//p' "$desktop")
  ((overlaid)) || e2e_launcher=$stage$e2e_launcher
  [[ -x $e2e_launcher ]] || fail "the menu entry's command '$e2e_launcher' is not an executable"
}

# Xvfb on a free display, exported as DISPLAY; its process in e2e_xvfb_pid.
e2e_start_xvfb() {
  local work=$1
  Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp -ac 5>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  e2e_xvfb_pid=$!
  wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY
}

# The user's folders below WORK/user (e2e_user_dir): an empty home, a 0700
# runtime folder (e2e_runtime), a bin folder first on its PATH; no config folder.
e2e_user_session() {
  e2e_user_dir=$1/user
  e2e_runtime=$e2e_user_dir/runtime
  mkdir -p "$e2e_user_dir/home" "$e2e_user_dir/bin" "$e2e_runtime"
  chmod 700 "$e2e_runtime"
  chown -R "$e2e_uid:$e2e_uid" "$e2e_user_dir"
}

# Runs a command as the user, in a clean environment: the session's variables,
# then the NAME=VALUE arguments before the command. e2e_exec_as_user replaces the
# calling (sub)shell, so that its process id is the program's: start a program to
# be stopped later as `(e2e_exec_as_user ...) &`, never as `e2e_as_user ... &`,
# whose process id would be a shell's and whose program would outlive it.
e2e_user_vars() {
  e2e_vars=(HOME="$e2e_user_dir/home" XDG_CONFIG_HOME="$e2e_user_dir/config"
    XDG_RUNTIME_DIR="$e2e_runtime" PATH="$e2e_user_dir/bin:/usr/bin:/bin" LANG=C.UTF-8)
  [[ -n ${DISPLAY:-} ]] && e2e_vars+=(DISPLAY="$DISPLAY")
  [[ -n ${DBUS_SESSION_BUS_ADDRESS:-} ]] && e2e_vars+=(DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
  return 0
}
e2e_as_user() {
  e2e_user_vars
  setpriv --reuid="$e2e_uid" --regid="$e2e_uid" --clear-groups env -i "${e2e_vars[@]}" "$@"
}
e2e_exec_as_user() {
  e2e_user_vars
  exec setpriv --reuid="$e2e_uid" --regid="$e2e_uid" --clear-groups env -i "${e2e_vars[@]}" "$@"
}

# The user's D-Bus session, exported as DBUS_SESSION_BUS_ADDRESS; asking for the
# accessibility bus's address starts it (and its registry) by D-Bus activation.
# The daemon's process in e2e_bus_pid (the accessibility bus ends with it).
e2e_session_bus() {
  local work=$1
  DBUS_SESSION_BUS_ADDRESS=unix:path=$e2e_runtime/bus
  export DBUS_SESSION_BUS_ADDRESS
  (e2e_exec_as_user dbus-daemon --session --nofork --nopidfile \
    --address="$DBUS_SESSION_BUS_ADDRESS") >"$work/dbus.log" 2>&1 &
  e2e_bus_pid=$!
  wait_for 10 test -S "$e2e_runtime/bus" || fail "the session bus did not start"
  wait_for 10 e2e_as_user dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress >/dev/null 2>&1 || fail "the accessibility bus did not start"
}

# Reads the accessible tree of the running program PROCESS_NAME as the user's
# screen reader would (scripts/atspi-tree.py) into TREE, and checks that each
# EXPECTED text is in it:
#   NAME                a node whose accessible name is exactly NAME
#   ROLE=NAME           such a node with that role (as printed, e.g. push_button)
#   description:TEXT    a node whose description contains TEXT
e2e_check_atspi() {
  local process=$1 tree=$2 expected missing=0 lines
  shift 2
  local reader
  reader=$(dirname "${BASH_SOURCE[0]}")/../atspi-tree.py
  # The Debian package of pyatspi serves the system Python, whatever python3 is on PATH.
  e2e_as_user /usr/bin/python3 "$(realpath "$reader")" --timeout 15 --min-nodes 3 --extents \
    "$process" >"$tree" || fail "no accessible tree of $process on the bus"
  log "accessible tree ($(wc -l <"$tree") nodes):"
  sed 's/^/  /' "$tree"
  for expected in "$@"; do
    case $expected in
      description:*)
        lines=$(grep -F -- ' [' "$tree" || true)
        grep -qF -- "${expected#description:}" <<<"$lines" || {
          echo "missing: a description holding '${expected#description:}'" >&2
          missing=1
        }
        ;;
      *=*)
        lines=$(grep -E -- "^ *${expected%%=*} \"" "$tree" || true)
        grep -qF -- "\"${expected#*=}\"" <<<"$lines" || {
          echo "missing: a ${expected%%=*} named '${expected#*=}'" >&2
          missing=1
        }
        ;;
      *)
        grep -qF -- "\"$expected\"" "$tree" || {
          echo "missing: a node named '$expected'" >&2
          missing=1
        }
        ;;
    esac
  done
  ((missing == 0)) || fail "expected texts are not in the accessible tree"
}
