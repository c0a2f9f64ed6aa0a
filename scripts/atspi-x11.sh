#!/usr/bin/env bash
# Reads the window's accessible tree from outside the program, as a screen
# reader would, and checks that the expected texts are announced.
#
#   scripts/atspi-x11.sh [--wait SECONDS] BUILD_DIR OUT_DIR [EXPECTED...]
#
# In a network namespace of its own (only loopback: no device answers, nothing
# leaves), a private D-Bus session with the accessibility bus, Xvfb and the
# window (BUILD_DIR/app/orvandel, skin from the source tree) run; after --wait
# seconds (default 3: the launch animation has ended) scripts/atspi-tree.py
# writes the tree to OUT_DIR/atspi-tree.txt. Each EXPECTED argument must then be
# found in the tree:
#   NAME                a node whose accessible name is exactly NAME
#   ROLE=NAME           such a node with that role (as printed, e.g. push_button)
#   description:TEXT    a node whose description contains TEXT
#
# Needs root (namespaces). Removes everything it created, also on failure.
set -euo pipefail

fail() {
  echo "ATSPI FAILED: $*" >&2
  exit 1
}
log() { echo "atspi: $*"; }

wait_for() {  # seconds, command...: polls the command every 0.2 s
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# ---------------------------------------------------------------------------
# Inside the namespace and the private D-Bus session.
inside() {
  local work=$1 app=$2 wait_s=$3 reader=$4
  app_pid="" xvfb_pid=""  # global: the EXIT trap reads them
  # shellcheck disable=SC2317  # called by the trap
  stop_inside() {
    set +e
    local pids=()
    for p in "$app_pid" "$xvfb_pid"; do [[ -n $p ]] && pids+=("$p"); done
    if ((${#pids[@]})); then
      kill "${pids[@]}" 2>/dev/null
      sleep 0.3
      kill -KILL "${pids[@]}" 2>/dev/null
      wait "${pids[@]}" 2>/dev/null
    fi
  }
  trap stop_inside EXIT
  trap 'exit 143' TERM INT

  Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp -ac 5>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY

  # The accessibility bus of this session: asking for its address starts the
  # launcher (and it the registry) through D-Bus activation; it ends with the session.
  wait_for 10 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress >/dev/null 2>&1 || fail "the accessibility bus did not start"
  log "X display $DISPLAY, accessibility bus up"

  mkdir -p "$work/home" "$work/config" "$work/runtime"
  chmod 700 "$work/runtime"
  (cd "$work/home" &&
    exec env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
      QT_QPA_PLATFORM=xcb \
      QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LANG=C.UTF-8 "$app") \
    >"$work/app.log" 2>&1 &
  app_pid=$!
  sleep "$wait_s"
  kill -0 "$app_pid" 2>/dev/null || fail "the window ended early"

  /usr/bin/python3 "$reader" --timeout 15 --min-nodes 3 --extents "$(basename "$app")" >"$work/atspi-tree.txt" ||
    fail "no accessible tree of $(basename "$app") on the bus"
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
  exit 0
fi

# ---------------------------------------------------------------------------
# Outside: the namespace, the check, and clean-up.
wait_s=3
if [[ ${1:-} == --wait ]]; then
  wait_s=$2
  shift 2
fi
[[ $# -ge 2 ]] || {
  echo "usage: $0 [--wait SECONDS] BUILD_DIR OUT_DIR [NAME | ROLE=NAME | description:TEXT]..." >&2
  exit 2
}
build=$(realpath "$1")
out=$2
shift 2
mkdir -p "$out"
out=$(realpath "$out")

if [[ $(id -u) -ne 0 ]]; then
  echo "SKIPPED: the accessibility test needs root (network namespace)"
  exit 0
fi
# The Debian package of pyatspi serves the system Python, whatever python3 is on PATH.
python=/usr/bin/python3
for tool in ip Xvfb dbus-run-session dbus-send "$python" /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || fail "'$tool' is missing (scripts/install-deps.sh --test)"
done
"$python" -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is missing (scripts/install-deps.sh --test)"
app=$build/app/orvandel
[[ -x $app ]] || fail "no $app"
here=$(dirname "$(realpath "$0")")

work=$(mktemp -d /tmp/orvandel-atspi.XXXXXX)
ns=orvatspi-$$
cleanup() {
  local status=$?
  set +e
  ip netns del "$ns" 2>/dev/null || true
  for f in app.log xvfb.log atspi-tree.txt; do
    [[ -f $work/$f ]] && cp "$work/$f" "$out/$f"
  done
  if ((status != 0)) && [[ -f $work/app.log ]]; then
    echo "---- program output" >&2
    tail -n 30 "$work/app.log" >&2
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$ns"
ip -n "$ns" link set lo up

timeout 90 ip netns exec "$ns" dbus-run-session -- \
  "$(realpath "$0")" --inside "$work" "$app" "$wait_s" "$here/atspi-tree.py"
tree=$work/atspi-tree.txt
log "accessible tree ($(wc -l <"$tree") nodes):"
cat "$tree"

missing=0
for expected in "$@"; do
  case $expected in
    description:*)
      described=$(grep -F -- ' [' "$tree" || true)
      grep -qF -- "${expected#description:}" <<<"$described" || {
        echo "missing: a description holding '${expected#description:}'" >&2
        missing=1
      }
      ;;
    *=*)
      of_role=$(grep -E -- "^ *${expected%%=*} \"" "$tree" || true)
      grep -qF -- "\"${expected#*=}\"" <<<"$of_role" || {
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
log "passed; tree in $out/atspi-tree.txt"
