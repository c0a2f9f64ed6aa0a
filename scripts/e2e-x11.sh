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
# window as an unprivileged user. xdotool clicks Begin Search, the screenshot is
# checked (OK icon, two device rows), the first row is clicked and a fake
# xdg-open records the address; Esc closes the window.
#
# Needs root (namespaces, mounts). Removes everything it created, also on failure.
set -euo pipefail

readonly kSubnet=10.77.0
readonly kComputer=$kSubnet.1
readonly kTr400=$kSubnet.2
readonly kTr9100=$kSubnet.3
readonly kUser=65534  # nobody
readonly kDesktopId=com.kestrilon.orvandel

fail() {
  echo "E2E FAILED: $*" >&2
  exit 1
}
log() { echo "e2e: $*"; }

wait_for() {  # seconds, command...: polls the command every 0.2 s
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# ---------------------------------------------------------------------------
# Inside the computer's network namespace and a private mount namespace.
inside() {
  local work=$1 stage=$2 source_resources=$3
  app_pid="" xvfb_pid=""  # global: the EXIT trap reads them
  # shellcheck disable=SC2317  # called by the trap
  stop_inside() {
    set +e
    local pids=()
    [[ -n $app_pid ]] && pids+=("$app_pid")
    [[ -n $xvfb_pid ]] && pids+=("$xvfb_pid")
    if ((${#pids[@]})); then
      kill "${pids[@]}" 2>/dev/null
      sleep 0.5
      kill -KILL "${pids[@]}" 2>/dev/null
      wait "${pids[@]}" 2>/dev/null
    fi
  }
  trap stop_inside EXIT
  trap 'exit 143' TERM INT

  # The staged package over the real /usr, read-only: the window finds its skin
  # and the menu entry its launcher exactly where the package puts them.
  local launcher
  local overlaid=1
  for d in bin libexec share; do
    if [[ -d $stage/usr/$d ]] &&
      ! mount -t overlay "orvandel-$d" -o "lowerdir=$stage/usr/$d:/usr/$d" "/usr/$d" 2>/dev/null; then
      overlaid=0
    fi
  done
  if ((overlaid)); then
    # No fallback to the source tree's images: the installed ones must do.
    [[ -d $source_resources ]] && mount -t tmpfs -o ro,size=1m orvandel-hidden "$source_resources"
    local desktop=/usr/share/applications/$kDesktopId.desktop
  else
    log "NOTE: overlay mounts are not available; running from the staging folder" \
      "(the skin may come from the source tree)"
    local desktop=$stage/usr/share/applications/$kDesktopId.desktop
  fi
  [[ -f $desktop ]] || fail "no desktop entry at $desktop"
  launcher=$(sed -n 's/^Exec=//p' "$desktop")
  ((overlaid)) || launcher=$stage$launcher
  [[ -x $launcher ]] || fail "the menu entry's command '$launcher' is not an executable"

  Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp -ac 5>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
  log "X display $DISPLAY"

  # The user's session: own home, no config folder yet, a browser that only takes notes.
  local user_dir=$work/user
  mkdir -p "$user_dir/home" "$user_dir/bin" "$user_dir/runtime"
  chmod 700 "$user_dir/runtime"
  cat >"$user_dir/bin/xdg-open" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>"$ORVANDEL_E2E_URLS"
EOF
  chmod 755 "$user_dir/bin/xdg-open"
  chown -R "$kUser:$kUser" "$user_dir"
  (cd "$user_dir/home" &&
    exec setpriv --reuid="$kUser" --regid="$kUser" --clear-groups \
      env -i HOME="$user_dir/home" XDG_CONFIG_HOME="$user_dir/config" \
      XDG_RUNTIME_DIR="$user_dir/runtime" PATH="$user_dir/bin:/usr/bin:/bin" DISPLAY="$DISPLAY" \
      QT_QPA_PLATFORM=xcb LANG=C.UTF-8 ORVANDEL_E2E_URLS="$user_dir/urls" \
      "$launcher") >"$work/app.log" 2>&1 &
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

if [[ $(id -u) -ne 0 ]]; then
  echo "SKIPPED: the end-to-end X test needs root (network and mount namespaces)"
  exit 0
fi
for tool in ip unshare setpriv Xvfb xdotool import convert compare; do
  command -v "$tool" >/dev/null || fail "'$tool' is missing (scripts/install-deps.sh --test)"
done
sim=$build/tools/devicesim/orvandel-devicesim
[[ -x $sim ]] || fail "no $sim"
source_resources=$(sed -n 's/^#define ORVANDEL_SOURCE_RESOURCES "\(.*\)"$/\1/p' \
  "$build/generated/build_config.h")

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
  for f in app.log xvfb.log sim-tr400.log sim-tr9100.log; do
    [[ -f $work/$f ]] && cp "$work/$f" "$out/e2e-$f"
  done
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
