#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the database
# that the build put next to the executable.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
exec build/bin/Pellmark "$@"
