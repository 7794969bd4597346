#!/usr/bin/env bash
# Configures (once, and again when the presets change) and builds both targets: win32 (the shipping build) and win64, each with its
# tests. PRESET:TARGET builds only that target of the preset (for example
# win64:sibling_suite_parts, what the other bitness's tests use of this build).
# Usage: scripts/build.sh [win32|win64|PRESET:TARGET ...]   (default: win64 win32)
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win64 win32)

for arg in "${presets[@]}"; do
  preset=${arg%%:*}
  target=()
  [ "$preset" = "$arg" ] || target=(--target "${arg#*:}")
  # A tree configured from older presets (say, one whose win32 build had no tests) takes the
  # current presets' settings.
  if [ ! -f "build/$preset/build.ninja" ] || [ CMakePresets.json -nt "build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" >"build-$preset-configure.log" 2>&1 || { cat "build-$preset-configure.log"; rm -f "build-$preset-configure.log"; exit 1; }
    rm -f "build-$preset-configure.log"
  fi
  echo "build: $arg"
  cmake --build --preset "$preset" "${target[@]}"
done
