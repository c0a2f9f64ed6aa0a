#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Tests that need network
# namespaces run when this is root and say SKIPPED otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANDEL_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" --test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ORVANDEL_CMAKE_ARGS:-} >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j2 ${ORVANDEL_CTEST_ARGS:-}
