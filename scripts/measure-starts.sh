#!/usr/bin/env bash
# Starts the window COUNT times in a row against one Xvfb server and counts the
# starts that said "no display" although the server answered. A start that is
# still running after SECONDS counts as a good one. Not part of CI: it takes
# about COUNT x SECONDS. Needs Xvfb (scripts/install-deps.sh --test).
#   scripts/measure-starts.sh [PROGRAM] [COUNT] [SECONDS]
set -uo pipefail
program=${1:-build/app/orvandel}
count=${2:-100}
seconds=${3:-2}
program=$(realpath "$program")
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

# -displayfd: Xvfb picks a free display and names it once it accepts clients.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 640x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 10 -u "$fd" number || { echo "Xvfb did not start" >&2; exit 2; }
export DISPLAY=":$number" QT_QPA_PLATFORM=xcb
cd "$work"

good=0 no_display=0 other=0
for ((i = 1; i <= count; ++i)); do
  timeout "$seconds" "$program" 2>"$work/err" >/dev/null
  rc=$?
  if [ "$rc" -eq 124 ]; then
    good=$((good + 1))
  elif grep -q "no display found" "$work/err"; then
    no_display=$((no_display + 1))
    echo "start $i: exit $rc: $(tr '\n' ' ' <"$work/err")"
  else
    other=$((other + 1))
    echo "start $i: exit $rc: $(tr '\n' ' ' <"$work/err")"
  fi
done
echo "starts: $count, running after ${seconds}s: $good, \"no display\": $no_display, other ends: $other (load: $(cut -d' ' -f1-3 /proc/loadavg))"
