#!/usr/bin/env bash
# Installs what is missing, builds both targets, and runs every test of the win64 build under
# Wine in a private Xvfb display. Ends with CTest's summary; fails when no test ran.
# Extra arguments go to ctest (for example -R Pathname).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
./scripts/build.sh win32 win64

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
trap rp_wine_stop EXIT INT TERM
rp_start_xvfb
rp_start_wine

# Byte-exact Shift-JIS round trips through controls and the clipboard need code page 932.
if ! wine build/win64/bin/acpcheck.exe >build/acpcheck.log 2>&1; then
  echo "test: the Wine ANSI code page is not 932 ($(tr -d '\r' <build/acpcheck.log))." >&2
  echo "test: generate the ja_JP.UTF-8 locale (scripts/setup.sh does) and run with LANG=ja_JP.UTF-8." >&2
  exit 1
fi

ctest --test-dir build/win64 --output-on-failure --no-tests=error "$@"
