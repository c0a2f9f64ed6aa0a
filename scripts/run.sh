#!/usr/bin/env bash
# Installs what is missing, builds, and starts the finder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
cd "$root"
if [[ -x build/app/orvandel ]]; then
  exec build/app/orvandel "$@"
fi
exec build/tools/cli/orvandel-cli "$@"
