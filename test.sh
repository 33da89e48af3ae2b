#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
preset="${NORVANE_PRESET:-debug}"
./scripts/build.sh "$preset"
# The libFuzzer targets, a few seconds each, where clang is installed; before
# ctest so that its summary closes the output.
./fuzz/run.sh
ctest --test-dir "build/$preset" --output-on-failure -j "$(nproc)" --timeout 600
