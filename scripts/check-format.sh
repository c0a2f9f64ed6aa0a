#!/usr/bin/env bash
# Every tracked C++ file is formatted as .clang-format says. Needs clang-format 14
# (another version formats some lines differently). Fix with: clang-format-14 -i FILE
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tool=clang-format-14
if ! command -v "$tool" >/dev/null; then
  tool=clang-format
  "$tool" --version | grep -q 'version 14\.' || {
    echo "check-format: clang-format 14 is needed (scripts/install-deps.sh installs it)" >&2
    exit 1
  }
fi
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.cc' '*.h' '*.hpp')
"$tool" --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} C++ files match .clang-format"
