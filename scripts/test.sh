#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   scripts/test.sh              the normal build (folder build)
#   scripts/test.sh --sanitize   the AddressSanitizer + UBSan build (build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
dir=build
args=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  args=(-DPM_SANITIZE=ON -DPM_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
scripts/build.sh "$dir" "${args[@]}"
export QT_QPA_PLATFORM=offscreen
cd "$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 600
