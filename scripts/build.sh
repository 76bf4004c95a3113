#!/usr/bin/env bash
# Configures and builds into a build folder; quiet unless something is wrong.
#   scripts/build.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
if ! cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1; then
  grep -vE '^\[[0-9]+/[0-9]+\] ' "$dir/build.log" | tail -n 200
  echo "Build failed (full log: $dir/build.log)" >&2
  exit 1
fi
grep -E 'warning:' "$dir/build.log" || true
