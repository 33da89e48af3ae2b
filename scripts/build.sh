#!/usr/bin/env bash
# Configures and builds one preset (default: debug); the targets named after
# the preset only (default: everything).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-debug}"
shift || true
targets=()
if [ "$#" -gt 0 ]; then targets=(--target "$@"); fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" "${targets[@]}" -- -k 0
