#!/usr/bin/env bash
# End-to-end test of the installed finder under a real X server.
#
#   scripts/e2e-x11.sh STAGE_DIR BUILD_DIR OUT_DIR
#
# STAGE_DIR holds a `DESTDIR=STAGE_DIR cmake --install` of a build configured for
# the prefix /usr. Two network namespaces joined by a veth pair stand for the
# user's computer and the home network, where two simulated devices (a TR400 and
# a TR9100) answer. Inside the computer's namespace, a private mount namespace
# lays the staged files over /usr (as if the package were installed) and hides
# the source tree's skin, then Xvfb runs and the menu entry's command starts the
# window as an unprivileged user, in a D-Bus session with the accessibility bus.
# On step 1, the window's accessible tree is read from outside as a screen reader
# would (every visible button by its name, the page texts as the description).
# xdotool clicks Begin Search, the screenshot is checked (OK icon, two device
# rows), the first row is clicked and a fake xdg-open records the address; Esc
# closes the window.
#
# Needs root (namespaces, mounts). Removes everything it created, also on failure.
set -euo pipefail
e2e_tag=e2e
# shellcheck source=scripts/lib/e2e-env.sh
. "$(dirname "$(realpath "$0")")/lib/e2e-env.sh"

readonly kSubnet=10.77.0
readonly kComputer=$kSubnet.1
readonly kTr400=$kSubnet.2
readonly kTr9100=$kSubnet.3
# Step 1 of a fresh window (English), as a screen reader announces it.
readonly kAccessible=("push_button=Settings" "push_button=Next step" "push_button=Begin Search"
  "description:Step 1: Turn Device On")

# ---------------------------------------------------------------------------
# Inside the computer's network namespace and a private mount namespace.
inside() {
  local work=$1 stage=$2 source_resources=$3
  app_pid="" e2e_xvfb_pid="" e2e_bus_pid=""  # global: the EXIT trap reads them
  # shellcheck disable=SC2317  # called by the trap
  stop_inside() {
    set +e
    e2e_stop "$app_pid" "$e2e_bus_pid" "$e2e_xvfb_pid"
  }
  trap stop_inside EXIT
  trap 'exit 143' TERM INT

  e2e_overlay_stage "$stage" "$source_resources"
  e2e_start_xvfb "$work"
  log "X display $DISPLAY"

  # The user's session: own home, no config folder yet, a browser that only takes notes.
  e2e_user_session "$work"
  local user_dir=$e2e_user_dir
  cat >"$user_dir/bin/xdg-open" <<'EOF2'
#!/bin/sh
printf '%s\n' "$*" >>"$ORVANDEL_E2E_URLS"
EOF2
  chmod 755 "$user_dir/bin/xdg-open"
  e2e_session_bus "$work"
  log "session bus and accessibility bus up"
  (cd "$user_dir/home" &&
    e2e_exec_as_user QT_QPA_PLATFORM=xcb ORVANDEL_E2E_URLS="$user_dir/urls" \
      QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$e2e_launcher") >"$work/app.log" 2>&1 &
  app_pid=$!

  local wid
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvandel$' | head -n1) ||
    fail "the window did not appear"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  # shellcheck disable=SC2153  # set by the eval
  [[ "$WIDTH x $HEIGHT" == "320 x 460" ]] || fail "window is $WIDTH x $HEIGHT, not 320 x 460"
  log "window $wid at $X,$Y"

  # The search button appears when the launch animation (~1.6 s) has ended.
  sleep 2.5
  e2e_check_atspi orvandel "$work/atspi-tree.txt" "${kAccessible[@]}"
  log "step 1 as a screen reader reads it: ${kAccessible[*]}"
  xdotool mousemove --window "$wid" 258 435 click 1

  # The results page: the OK icon where the search indicator was.
  local shot=$work/results.png expected_ok=$work/ok_expected.png
  convert -size 41x41 xc:'#E6E6E6' "$stage/usr/share/orvandel/img/finder_win_icon_ok.png" \
    -composite "$expected_ok"
  ok_icon_shown() {
    import -silent -window "$wid" "png:$shot" 2>/dev/null || return 1
    local differing
    differing=$(compare -metric AE -fuzz 12% \( "$shot" -crop 41x41+17+77 +repage \) \
      "$expected_ok" null: 2>&1) || true
    [[ ${differing%%.*} =~ ^[0-9]+$ ]] && ((${differing%%.*} < 80))
  }
  wait_for 15 ok_icon_shown || fail "no OK icon 15 s after the search started (screenshot kept)"
  sleep 0.5  # let the list settle, then keep the screenshot that is checked
  import -silent -window "$wid" "png:$shot"

  local rows
  rows=$(count_rows "$shot")
  ((rows == 2)) || fail "the list shows $rows device rows, not 2"
  log "OK icon and $rows device rows on the results page"

  # The first row is the lower address.
  xdotool mousemove --window "$wid" 160 157 click 1
  wait_for 10 test -s "$user_dir/urls" || fail "a click on the first row opened nothing"
  local opened
  opened=$(cat "$user_dir/urls")
  [[ $opened == "http://$kTr400" ]] || fail "the first row opened '$opened', not http://$kTr400"
  log "first row opened $opened"

  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  xdotool key Escape
  wait_for 10 bash -c "! kill -0 $app_pid 2>/dev/null" || fail "Esc did not end the program"
  wait "$app_pid" || fail "the program ended with status $?"
  app_pid=""
  log "Esc ended the program"

  local cfg=$user_dir/config/orvandel/setting.cfg
  [[ -f $cfg ]] || fail "no setting.cfg in \$XDG_CONFIG_HOME/orvandel"
  cmp -s "$cfg" <(printf 'LANGUAGE\t9\r\n') ||
    fail "setting.cfg holds '$(od -c "$cfg" | head -n2)'"
  [[ ! -e $user_dir/home/setting.cfg ]] || fail "setting.cfg was written into the home folder"
  log "setting.cfg holds the English line, in the config folder"
}

# Device rows on a screenshot: bands of the icon column (x 4..67) below the list's
# top (y 135..404) that differ from the list background, separated by gaps.
count_rows() {
  convert "$1" -crop 64x270+4+135 +repage -colorspace Gray -threshold 85% -negate \
    -scale 1x270! -threshold 4% txt:- |
    awk -F'[,: ]+' 'NR > 1 { on = ($0 ~ /white|#FFFFFF|gray\(255\)/) }
         NR > 1 && on && !prev { n++ } NR > 1 { prev = on } END { print n + 0 }'
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
  exit 0
fi

# ---------------------------------------------------------------------------
# Outside: namespaces, simulated devices, and clean-up.
[[ $# -eq 3 ]] || {
  echo "usage: $0 STAGE_DIR BUILD_DIR OUT_DIR" >&2
  exit 2
}
stage=$(realpath "$1")
build=$(realpath "$2")
out=$3
mkdir -p "$out"
out=$(realpath "$out")

e2e_require_root "the end-to-end X test"
e2e_require_tools ip unshare setpriv Xvfb xdotool import convert compare dbus-daemon dbus-send \
  /usr/libexec/at-spi-bus-launcher
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
  fail "python3-pyatspi is missing (scripts/install-deps.sh --test)"
sim=$build/tools/devicesim/orvandel-devicesim
[[ -x $sim ]] || fail "no $sim"
source_resources=$(e2e_source_resources "$build")

work=$(mktemp -d /tmp/orvandel-e2e.XXXXXX)
chmod 755 "$work"
ns_computer=orve2e-pc-$$
ns_network=orve2e-net-$$
sim_pids=()
cleanup() {
  local status=$?
  set +e
  for p in "${sim_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  ip netns del "$ns_computer" 2>/dev/null || true
  ip netns del "$ns_network" 2>/dev/null || true
  e2e_keep "$work" "$out" e2e- app.log xvfb.log dbus.log sim-tr400.log sim-tr9100.log
  e2e_keep "$work" "$out" "" atspi-tree.txt
  [[ -f $work/user/config/orvandel/setting.cfg ]] && cp "$work/user/config/orvandel/setting.cfg" "$out/"
  [[ -f $work/results.png ]] && cp "$work/results.png" "$out/orvandel-results.png"
  if ((status != 0)) && [[ -f $work/app.log ]]; then
    echo "---- program output" >&2
    tail -n 30 "$work/app.log" >&2
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$ns_computer"
ip netns add "$ns_network"
ip -n "$ns_computer" link add eth0 type veth peer name eth0 netns "$ns_network"
ip -n "$ns_computer" addr add "$kComputer/24" dev eth0
ip -n "$ns_network" addr add "$kTr400/24" dev eth0
ip -n "$ns_network" addr add "$kTr9100/24" dev eth0
for ns in "$ns_computer" "$ns_network"; do
  ip -n "$ns" link set lo up
  ip -n "$ns" link set eth0 up
  ip -n "$ns" route add default via "$kSubnet.254" dev eth0
done

reply() {  # name model mac ip
  cat <<EOF
{
	"command": "browse",
	"device_name": "$1",
	"org": "Kestrilon",
	"model": "$2",
	"master_version": "1.0.7",
	"nic": [{
		"enable": 1,
		"id": "$3",
		"dhcp": "on",
		"name": "eth0",
		"ip": "$4",
		"mask": "255.255.255.0",
		"gateway": "$kSubnet.254"
	}],
	"isConnected": 1
}
EOF
}
reply "Living Room" TR400 "02:5a:00:00:04:00" "$kTr400" >"$work/tr400.json"
reply "Studio" TR9100 "02:5a:00:00:91:00" "$kTr9100" >"$work/tr9100.json"
for dev in tr400:$kTr400 tr9100:$kTr9100; do
  name=${dev%%:*}
  ip netns exec "$ns_network" "$sim" --address "${dev#*:}" --reply "$work/$name.json" \
    >"$work/sim-$name.log" 2>&1 &
  sim_pids+=($!)
  wait_for 10 grep -qs ready "$work/sim-$name.log" || fail "the simulated $name did not start"
done
log "simulated TR400 at $kTr400 and TR9100 at $kTr9100"

timeout 120 ip netns exec "$ns_computer" unshare --mount --propagation private \
  "$(realpath "$0")" --inside "$work" "$stage" "$source_resources"
log "passed; screenshot in $out/orvandel-results.png"
