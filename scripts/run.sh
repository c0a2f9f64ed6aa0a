#!/usr/bin/env bash
# Installs what is missing, builds, and starts the finder: the window when there is
# a display, the command-line finder otherwise (on a server, over ssh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
cd "$root"
# The window's own rule, for the common case: no platform chosen and no display named.
no_display=false
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  case ${QT_QPA_PLATFORM:-} in
    "" | xcb) no_display=true ;;
  esac
fi
if [[ -x build/app/orvandel ]] && ! $no_display; then
  exec build/app/orvandel "$@"
fi
if $no_display; then
  echo "run.sh: no display found; starting the command-line finder build/tools/cli/orvandel-cli" >&2
fi
exec build/tools/cli/orvandel-cli "$@"
