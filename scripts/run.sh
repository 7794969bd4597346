#!/usr/bin/env bash
# Installs what is missing, builds the 64-bit inspector and starts it under Wine with the given
# plug-in files (or, without arguments, the bundled samples) on its command line, so it probes
# them at start-up as if they had been dropped on its window.
# Without a usable display it runs in a private Xvfb, waits until the files are probed, saves
# build/screenshot.png, closes the window and prints where the picture is. RP_RUN_DRIVE may hold
# commands of tests/support/windowdrive.c, separated by ';', applied before the picture is taken
# (the README's folder picture: RP_RUN_DRIVE='size 1000 720; click 132; select 3').
# Usage: scripts/run.sh [plugin.dll or folder ...]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh win64

preset=win64
if [ ! -f "build/$preset/build.ninja" ]; then
  mkdir -p build
  cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 || { cat "build/configure-$preset.log"; exit 1; }
fi
samples=()
for src in samples/*.c samples/*.cpp; do
  [ -e "$src" ] && samples+=("sample_$(basename "${src%.*}")")
done
echo "run: building the inspector"
cmake --build "build/$preset" --target plugin-inspector windowdrive "${samples[@]}"

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  files=(build/$preset/samples/*.dll)
fi
for f in "${files[@]}"; do
  [ -e "$f" ] || { echo "run: no such file: $f" >&2; exit 1; }
done

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
trap rp_wine_stop EXIT INT TERM
headless=
if [ -z "${DISPLAY:-}" ] || { command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; }; then
  headless=1
  rp_start_xvfb
fi
rp_start_wine

winfiles=()
for f in "${files[@]}"; do
  winfiles+=("$(winepath -w "$(realpath "$f")" 2>/dev/null)")
done

# A picture starts from the defaults: no placement or folders remembered by an earlier run in
# the build's Wine prefix.
[ -z "$headless" ] || wine reg delete 'HKCU\Software\plugin-inspector' /f >/dev/null 2>&1 || true
wine "build/$preset/plugin-inspector.exe" "${winfiles[@]}" >build/run.log 2>&1 &
inspector=$!
drive() { wine "build/$preset/bin/windowdrive.exe" "$@" 2>>build/run.log; }

if [ -n "$headless" ]; then
  sleep 1
  drive idle >/dev/null || true
  IFS=';' read -ra steps <<<"${RP_RUN_DRIVE:-}"
  for step in "${steps[@]}"; do
    read -ra words <<<"$step"
    [ ${#words[@]} -eq 0 ] || drive "${words[@]}" >/dev/null || true
  done
  read -r x y w h < <(drive rect | tr -d '\r') || true
  if [ -n "${w:-}" ] && [ "$w" -gt 0 ]; then
    import -window root -crop "${w}x${h}+${x}+${y}" +repage build/screenshot.png
  else
    import -window root build/screenshot.png
  fi
  drive close >/dev/null || kill "$inspector" 2>/dev/null || true
  wait "$inspector" || true
  echo "run: screenshot saved to $(pwd)/build/screenshot.png"
else
  wait "$inspector" || true
fi
