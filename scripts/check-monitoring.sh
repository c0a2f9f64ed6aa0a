#!/usr/bin/env bash
# The installed monitoring pieces against the real tools:
#  1. the systemd user service and timer, and the system variant shipped as an
#     example, pass `systemd-analyze verify` (with the program's path pointed at
#     the staged one, which is not installed on this machine) and score at most
#     4.0 in `systemd-analyze security`; the system unit's folder is
#     node_exporter's default textfile folder;
#  2. a Prometheus server scraping node_exporter's textfile collector, which
#     serves what the system unit's command exported about simulated devices, run
#     as the unit's user into its state folder as systemd hands it over, answers
#     an API query for orvandel_device_up.
# Everything network runs in two network namespaces made and removed here.
# usage: check-monitoring.sh STAGE BUILD   (root; needs prometheus,
# prometheus-node-exporter, curl, iproute2: scripts/install-deps.sh --test)
set -euo pipefail
stage=$1
build=$2
fail() {
  echo "MONITORING CHECK FAILED: $*" >&2
  exit 1
}
tmp=$(mktemp -d)
ns=orvmon$$
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  ip netns del "${ns}f" 2>/dev/null || true
  ip netns del "${ns}d" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "   systemd-analyze verify"
cli=$stage/usr/bin/orvandel-cli
mkdir -p "$tmp/user" "$tmp/system" "$tmp/run"
chmod 700 "$tmp/run"
for unit in "$stage"/usr/lib/systemd/user/orvandel-export.{service,timer}; do
  [[ -f $unit ]] || fail "the installation lacks $unit"
  sed "s#/usr/bin/orvandel-cli#$cli#" "$unit" >"$tmp/user/$(basename "$unit")"
done
for unit in "$stage"/usr/share/doc/orvandel/examples/orvandel-export-system.{service,timer}; do
  [[ -f $unit ]] || fail "the installation lacks $unit"
  sed "s#/usr/bin/orvandel-cli#$cli#" "$unit" >"$tmp/system/$(basename "$unit")"
done
XDG_RUNTIME_DIR=$tmp/run systemd-analyze verify --man=no --user "$tmp"/user/* ||
  fail "systemd-analyze verify: the user units"
systemd-analyze verify --man=no "$tmp"/system/* || fail "systemd-analyze verify: the system units"

echo "   systemd-analyze security"
for unit in "$tmp"/user/orvandel-export.service "$tmp"/system/orvandel-export-system.service; do
  scope=()
  [[ $unit == */user/* ]] && scope=(--user)
  out=$(XDG_RUNTIME_DIR=$tmp/run systemd-analyze security --offline=true "${scope[@]}" "$unit" 2>&1) ||
    fail "systemd-analyze security $(basename "$unit"): $out"
  score=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p' <<<"$out")
  if [[ -z $score ]] || ! awk -v s="$score" 'BEGIN { exit !(s <= 4.0) }'; then
    fail "$(basename "$unit") scores ${score:-nothing} in systemd-analyze security, more than 4.0"
  fi
  echo "   $(basename "$unit"): $score"
done
# The system unit as systemd runs it: its ExecStart with %S, as its user, into its
# state folder, which is node_exporter's default textfile folder below /var/lib.
system_unit=$tmp/system/orvandel-export-system.service
unit_key() { sed -n "s/^$1=//p" "$system_unit" | tail -1; }
unit_user=$(unit_key User)
state_dir=$(unit_key StateDirectory)
exec_start=$(unit_key ExecStart)
textfile_default=$(prometheus-node-exporter --help 2>&1 |
  sed -n 's/.*--collector.textfile.directory="\([^"]*\)".*/\1/p')
[[ /var/lib/$state_dir == "$textfile_default" ]] ||
  fail "the system unit writes into /var/lib/$state_dir, node_exporter reads $textfile_default"
[[ $exec_start == *%S/$state_dir/* ]] || fail "the system unit does not write into its state folder: $exec_start"

echo "   Prometheus server query for orvandel_device_up"
ip netns add "${ns}f"
ip netns add "${ns}d"
ip link add "${ns}a" netns "${ns}f" type veth peer name "${ns}b" netns "${ns}d"
ip -n "${ns}f" addr add 10.79.1.1/24 dev "${ns}a"
ip -n "${ns}d" addr add 10.79.1.2/24 dev "${ns}b"
for n in f d; do ip -n "$ns$n" link set lo up; done
ip -n "${ns}f" link set "${ns}a" up
ip -n "${ns}d" link set "${ns}b" up
ip netns exec "${ns}d" "$build/tools/devicesim/orvandel-devicesim" --address 10.79.1.2 --count 3 \
  --duration 60000 >"$tmp/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$tmp/sim.log" && break; sleep 0.05; done
# Debian ships the folder root:root 0755; at every start systemd gives the state
# folder to the unit's user.
textfile=$tmp/state/$state_dir
mkdir -p "$textfile"
chmod 711 "$tmp"
chown "$unit_user:" "$textfile"
read -ra command <<<"${exec_start//%S/$tmp/state}"
ip netns exec "${ns}f" setpriv --reuid "$unit_user" --regid "$unit_user" --clear-groups \
  --no-new-privs --inh-caps=-all --bounding-set=-all "${command[@]}" >/dev/null ||
  fail "the system unit's command failed as $unit_user: ${command[*]}"
promtool check metrics <"$textfile/orvandel.prom" || fail "promtool check metrics"
ip netns exec "${ns}f" prometheus-node-exporter --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$textfile" --web.listen-address=127.0.0.1:19100 \
  >"$tmp/node.log" 2>&1 &
pids+=($!)
cat >"$tmp/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: node
    static_configs:
      - targets: ['127.0.0.1:19100']
YAML
ip netns exec "${ns}f" prometheus --config.file="$tmp/prometheus.yml" \
  --storage.tsdb.path="$tmp/tsdb" --web.listen-address=127.0.0.1:19090 >"$tmp/prometheus.log" 2>&1 &
pids+=($!)
answer=
for _ in $(seq 300); do
  answer=$(ip netns exec "${ns}f" curl -sf --max-time 2 \
    'http://127.0.0.1:19090/api/v1/query?query=orvandel_device_up' || true)
  [[ $answer == *'"__name__":"orvandel_device_up"'* ]] && break
  sleep 0.1
done
[[ $answer == *'"__name__":"orvandel_device_up"'* ]] || {
  tail -5 "$tmp/prometheus.log" >&2
  fail "Prometheus has no orvandel_device_up: $answer"
}
count=$(grep -o '"__name__":"orvandel_device_up"' <<<"$answer" | wc -l)
((count == 3)) || fail "Prometheus has $count orvandel_device_up series, not 3: $answer"
echo "   Prometheus answers with $count series, e.g. $(grep -o '"metric":{[^}]*}' <<<"$answer" | head -1)"
