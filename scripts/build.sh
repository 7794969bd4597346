#!/usr/bin/env bash
# Configures (once) and builds both targets: win32 (the shipping build) and win64 (the tests).
# Usage: scripts/build.sh [win32|win64 ...]
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64)

for preset in "${presets[@]}"; do
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >"build-$preset-configure.log" 2>&1 || { cat "build-$preset-configure.log"; rm -f "build-$preset-configure.log"; exit 1; }
    rm -f "build-$preset-configure.log"
  fi
  echo "build: $preset"
  cmake --build --preset "$preset"
done
