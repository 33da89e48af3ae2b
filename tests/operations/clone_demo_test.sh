#!/usr/bin/env bash
# A clone alone: the project's committed files, cloned into an empty folder
# with nothing beside it, build and run the demo; the simulator stand-in then
# reports AI aircraft. What a new user does, minus the package install (the
# packages are there when the tests run). The clone sits deep, at a path of
# more than 120 characters, where no local socket path below it would fit.
#
# usage: clone_demo_test.sh SOURCE_DIR
set -euo pipefail
source_dir="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/norvane-clone.XXXXXX")"
trap 'rm -rf "$work"' EXIT
clone="$work/alone/$(printf 'a-rather-deep-folder-%d/' 1 2 3 4 5)norvane"
if [ "${#clone}" -lt 120 ]; then echo "FAILED: the clone's path $clone is shorter than 120 characters"; exit 1; fi
mkdir -p "$(dirname "$clone")"
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git clone -q --no-hardlinks "$source_dir" "$clone"
else
  # A checkout without its history: its files, without build outputs.
  mkdir -p "$clone"
  tar -C "$source_dir" --exclude=./build -cf - . | tar -C "$clone" -xf -
fi

free_port() {
  python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM if sys.argv[1]=="udp" else socket.SOCK_STREAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"
}

cd "$clone"
# Debug builds faster than release and runs the same demo. The traffic runs
# 30 s behind its reports by design, so the demo runs for a minute.
status=0
env -u DISPLAY NORVANE_PRESET=debug NORVANE_DEMO_SECONDS=60 NORVANE_DEMO_HEADLESS=1 \
    NORVANE_QNH_PORT="$(free_port udp)" NORVANE_TRAFFIC_PORT="$(free_port udp)" \
    NORVANE_DEMO_TCP_PORT="$(free_port tcp)" ./run.sh >"$work/run.out" 2>&1 || status=$?
if grep -q '^report: id ' "$work/run.out" && [ "$status" = 0 ]; then
  grep -m 3 '^report: id ' "$work/run.out"
  echo "the clone's demo put AI aircraft into the simulator stand-in (run.sh ended with $status)"
  exit 0
fi
tail -n 60 "$work/run.out"
echo "----- Log.txt"
tail -n 40 build/demo/program/Log.txt 2>/dev/null || true
echo "FAILED: no AI aircraft reported by the clone's demo, or it did not end with 0 (run.sh ended with $status)"
exit 1
