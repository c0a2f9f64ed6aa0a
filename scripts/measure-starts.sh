#!/usr/bin/env bash
# Starts the window COUNT times in a row and counts the starts that said "no
# display" although an X server answered. A start still running after SECONDS
# counts as a good one. Without LATE every start goes to one Xvfb that already
# listens; with LATE (seconds) each start gets its own Xvfb, started that long
# after the program, as when a session starts both at once. Not part of CI: it
# takes about COUNT x SECONDS. Needs Xvfb (scripts/install-deps.sh --test).
#   scripts/measure-starts.sh [PROGRAM] [COUNT] [SECONDS] [LATE]
set -uo pipefail
program=$(realpath "${1:-build/app/orvandel}")
count=${2:-100}
seconds=${3:-2}
late=${4:-}
work=$(mktemp -d)
xvfb=""
trap '[[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
export QT_QPA_PLATFORM=xcb

if [[ -z $late ]]; then
  # -displayfd: Xvfb picks a free display and names it once it accepts clients.
  Xvfb -displayfd 5 -screen 0 640x480x24 -nolisten tcp 5>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
  [[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 2; }
  export DISPLAY=":$(head -n1 "$work/display")"
fi

good=0 no_display=0 other=0
for ((i = 1; i <= count; ++i)); do
  if [[ -n $late ]]; then
    number=$((200 + RANDOM % 500))
    while [[ -e /tmp/.X$number-lock ]]; do number=$((200 + RANDOM % 500)); done
    export DISPLAY=":$number"
    (sleep "$late"; exec Xvfb "$DISPLAY" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1) &
    xvfb=$!
  fi
  timeout "$seconds" "$program" 2>"$work/err" >/dev/null
  rc=$?
  if [[ -n $late ]]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; xvfb=""; fi
  if [ "$rc" -eq 124 ]; then
    good=$((good + 1))
  elif grep -q "no display found" "$work/err"; then
    no_display=$((no_display + 1))
    echo "start $i: exit $rc: $(grep -v QStandardPaths "$work/err" | head -n 2 | tr '\n' ' ')"
  else
    other=$((other + 1))
    echo "start $i: exit $rc: $(head -n 2 "$work/err" | tr '\n' ' ')"
  fi
done
echo "starts: $count${late:+ (server ${late}s late)}, running after ${seconds}s: $good, \"no display\": $no_display, other ends: $other (load: $(cut -d' ' -f1-3 /proc/loadavg))"
