#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine. Idempotent and quick when
# everything is already present. Never installs the 32-bit wine32 package on the host: it cannot
# run on these kernels and would take over the wine launcher. The 32-bit programs run in a chroot
# of their own instead (scripts/i386-env.sh): the 32-bit runner.
# Usage: scripts/setup.sh [win32] [win64]
#   The tools that build both targets are always installed; the 32-bit runner, which only the
#   32-bit tests need, is prepared when win32 is named or nothing is (about 10 minutes once).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=" ${*:-win32 win64} "

packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
  wine wine64
  xvfb x11-apps imagemagick
  locales fonts-ipafont-gothic
  googletest cmake ninja-build ccache
  nlohmann-json3-dev
  debootstrap
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
  echo "setup: the 32-bit wine32 package is installed; it breaks the 64-bit Wine used here." >&2
  echo "setup: remove it with: apt-get remove wine32" >&2
  exit 1
fi

# Shift-JIS tests need the ANSI code page 932, which Wine derives from LANG=ja_JP.UTF-8.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  if [ -f /etc/locale.gen ]; then
    "${sudo_cmd[@]}" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
  else
    "${sudo_cmd[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  fi
fi

if [[ $targets == *" win32 "* ]]; then
  # shellcheck source=i386-env.sh
  source scripts/i386-env.sh
  rp_i386_setup
fi
