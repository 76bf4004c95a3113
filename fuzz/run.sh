#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them for a while.
#   fuzz/run.sh TARGET SECONDS [BUILD-DIR]
# The corpus grows in fuzz/corpus/TARGET (not kept in the repository); crashes
# land in fuzz/artifacts/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target}
seconds=${2:?seconds}
dir=${3:-build-fuzz}
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPM_FUZZ=ON -DPM_TESTS=OFF -DPM_BENCH=OFF >/dev/null
fi
cmake --build "$dir" --target "$target" -j"$(nproc)" >/dev/null
mkdir -p "fuzz/corpus/$target" "fuzz/artifacts/$target"
seeds=()
[ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
"$dir/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="fuzz/artifacts/$target/" "fuzz/corpus/$target" "${seeds[@]}"
