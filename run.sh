#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program's main job.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh release
if [ -x build/release/src/app/norvane ]; then
  exec build/release/src/app/norvane "$@"
fi
echo "The program itself is not built yet: only its foundation exists."
echo "Running the foundation and platform test suites instead, which exercise everything built so far."
ctest --test-dir build/release --output-on-failure -j "$(nproc)"
