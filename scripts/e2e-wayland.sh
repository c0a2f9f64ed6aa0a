#!/usr/bin/env bash
# End-to-end test of the finder as a native Wayland client.
#
#   scripts/e2e-wayland.sh STAGE_DIR BUILD_DIR OUT_DIR
#
# STAGE_DIR holds a `DESTDIR=STAGE_DIR cmake --install` of a build configured for
# the prefix /usr. In a network namespace of its own (a loopback only: nothing
# reaches the host's network) and a private mount namespace that lays the staged
# files over /usr, weston runs with its headless backend and the CPU renderer.
# 1. The menu entry's command starts the installed window as an unprivileged user
#    with QT_QPA_PLATFORM=wayland; the compositor's screenshot must show the step
#    1 page (its header bar and accent line), and the program must not fall back to
#    another platform.
# 2. BUILD_DIR's mainwindow_wayland_test opens the window, checks its client size,
#    the setting menu at the click, the About box as a modal child and Esc; the
#    compositor's screenshot is taken while it shows step 1.
# The screenshots and grabs go to OUT_DIR. Needs root; removes what it created.
set -euo pipefail
e2e_tag=e2e-wayland
# shellcheck source=scripts/lib/e2e-env.sh
. "$(dirname "$(realpath "$0")")/lib/e2e-env.sh"

readonly kSocket=orvandel-e2e

# Pixels of exactly `colour` in a PNG.
count_colour() {
  convert "$1" -alpha off -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:round(mean*w*h)]' info:
}

# The compositor's screenshot into $1 (weston-screenshooter writes into its
# working folder under a name of its own).
screenshot() {
  local dir
  dir=$(mktemp -d "$work/shot.XXXXXX")
  chown "$e2e_uid:$e2e_uid" "$dir"
  (cd "$dir" && as_user weston-screenshooter) >/dev/null 2>&1 || return 1
  local file
  file=$(ls "$dir"/*.png 2>/dev/null | head -n1)
  [[ -n $file ]] || return 1
  mv "$file" "$1"
  rm -rf "$dir"
}

as_user() {
  e2e_as_user WAYLAND_DISPLAY="$kSocket" QT_QPA_PLATFORM=wayland "$@"
}

# ---------------------------------------------------------------------------
# Inside the network namespace and a private mount namespace.
inside() {
  work=$1
  local stage=$2 build=$3 source_resources=$4 out=$5
  weston_pid="" app_pid="" test_pid=""
  # shellcheck disable=SC2317  # called by the trap
  stop_inside() {
    set +e
    e2e_stop "$test_pid" "$app_pid" "$weston_pid"
  }
  trap stop_inside EXIT
  trap 'exit 143' TERM INT

  e2e_overlay_stage "$stage" "$source_resources"
  # The session: a private 0700 runtime folder shared by compositor and clients.
  e2e_user_session "$work"
  local user_dir=$e2e_user_dir runtime=$e2e_runtime

  (e2e_exec_as_user WAYLAND_DISPLAY="$kSocket" QT_QPA_PLATFORM=wayland weston \
    --backend=headless-backend.so --socket="$kSocket" --width=800 --height=600 \
    --idle-time=0 --use-pixman --debug) >"$work/weston.log" 2>&1 &
  weston_pid=$!
  wait_for 10 test -S "$runtime/$kSocket" || fail "weston did not start"
  log "weston on $kSocket"

  # 1. The installed program from its menu entry.
  (cd "$user_dir/home" &&
    e2e_exec_as_user WAYLAND_DISPLAY="$kSocket" QT_QPA_PLATFORM=wayland "$e2e_launcher") \
    >"$work/app.log" 2>&1 &
  app_pid=$!
  local shot=$work/shot.png
  step1_on_screen() {
    screenshot "$shot" || return 1
    # The header bar of the pages (the launch animation has none): most of its
    # 320 x 62 pixels of #202020, and the accent line under it.
    local header accent
    header=$(count_colour "$shot" '#202020')
    accent=$(count_colour "$shot" '#F27900')
    ((header >= 15000 && accent >= 1280))
  }
  wait_for 20 step1_on_screen || fail "the installed window did not show step 1 (screenshot kept)"
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended early"
  if grep -Eiq 'could not (load|find).*plugin|falling back|no Qt platform plugin' "$work/app.log"; then
    fail "the program did not run as a Wayland client: $(head -n3 "$work/app.log")"
  fi
  log "installed window shows step 1 ($(count_colour "$shot" '#202020') header pixels)"
  mv "$shot" "$work/wayland-compositor-installed.png"
  kill "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  [[ -d $user_dir/config/orvandel ]] || fail "the launcher did not use \$XDG_CONFIG_HOME/orvandel"

  # 2. The window test: client size, menu position, About box, Esc.
  mkdir -p "$work/grabs"
  chown "$e2e_uid:$e2e_uid" "$work/grabs"
  local marker=$work/grabs/step1-shown
  (cd "$user_dir/home" &&
    e2e_exec_as_user WAYLAND_DISPLAY="$kSocket" QT_QPA_PLATFORM=wayland \
      ORVANDEL_SOURCE_RESOURCES="$source_resources" ORVANDEL_GRAB_DIR="$work/grabs" \
      ORVANDEL_WAYLAND_SHOT="$marker" "$build/tests/mainwindow/mainwindow_wayland_test") \
    >"$work/test.log" 2>&1 &
  test_pid=$!
  wait_for 20 test -e "$marker" || fail "the window test did not reach step 1: $(tail -n5 "$work/test.log")"
  wait_for 10 step1_on_screen || fail "the test window's step 1 is not on screen"
  mv "$shot" "$work/wayland-compositor-test.png"
  touch "$marker.done"
  local status=0
  wait "$test_pid" || status=$?
  test_pid=""
  ((status == 0)) || fail "the window test failed: $(grep -E 'FAIL|SKIP' "$work/test.log" | head -n5)"
  grep -q 'SKIP' "$work/test.log" && fail "the window test was skipped: $(grep SKIP "$work/test.log")"
  log "$(grep -E '^Totals' "$work/test.log")"
  cp "$work"/wayland-compositor-*.png "$work"/grabs/*.png "$out/"
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
  exit 0
fi

# ---------------------------------------------------------------------------
# Outside: the namespace and clean-up.
[[ $# -eq 3 ]] || {
  echo "usage: $0 STAGE_DIR BUILD_DIR OUT_DIR" >&2
  exit 2
}
stage=$(realpath "$1")
build=$(realpath "$2")
out=$3
mkdir -p "$out"
out=$(realpath "$out")

e2e_require_root "the Wayland end-to-end test"
e2e_require_tools ip unshare setpriv weston weston-screenshooter convert
[[ -x $build/tests/mainwindow/mainwindow_wayland_test ]] ||
  fail "no $build/tests/mainwindow/mainwindow_wayland_test"
source_resources=$(e2e_source_resources "$build")

work=$(mktemp -d /tmp/orvandel-wayland.XXXXXX)
chmod 755 "$work"
ns=orvwl-$$
cleanup() {
  local status=$?
  set +e
  ip netns del "$ns" 2>/dev/null || true
  e2e_keep "$work" "$out" wayland- app.log weston.log test.log
  if ((status != 0)); then
    for f in "$work"/*.png; do [[ -f $f ]] && cp "$f" "$out/"; done
    [[ -f $work/test.log ]] && tail -n 30 "$work/test.log" >&2
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$ns"
ip -n "$ns" link set lo up

timeout 150 ip netns exec "$ns" unshare --mount --propagation private \
  "$(realpath "$0")" --inside "$work" "$stage" "$build" "$source_resources" "$out"
log "passed; compositor screenshots in $out/wayland-compositor-{installed,test}.png"
