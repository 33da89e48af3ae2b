#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program.
#
# With arguments they go to the program (e.g. ./run.sh to open its window on
# your display). Without, a short demonstration that ends by itself: the
# program runs headless in a folder of its own under build/demo for a few
# seconds, is asked to close as the close box would (SIGTERM), and its log is
# shown.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh release
program="$PWD/build/release/src/app/norvane"
if [ "$#" -gt 0 ]; then
  exec "$program" "$@"
fi

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/roaming" "$demo/runtime"
chmod 700 "$demo/runtime"
echo "Running $program --headless for 5 seconds in $demo ..."
(
  cd "$demo"
  NORVANE_APPDATA="$demo/roaming" XDG_RUNTIME_DIR="$demo/runtime" "$program" --headless &
  pid=$!
  sleep 5
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  echo "norvane ended with exit code $status"
)
echo "----- $demo/Log.txt -----"
cat "$demo/Log.txt"
