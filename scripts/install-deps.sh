#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang
  # The sanitizer runtimes that the asan and fuzz presets link against; clang
  # only recommends them.
  libclang-rt-dev
  libpugixml-dev nlohmann-json3-dev libcurl4-openssl-dev libzip-dev libfmt-dev
  libfltk1.3-dev fluid libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth openssl python3 ca-certificates
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
