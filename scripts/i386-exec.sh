#!/usr/bin/env bash
# Runs a command in the 32-bit runner's chroot with the runner's Wine environment, in the current
# folder, which must lie in the project (mounted there at the same path). 32-bit and 64-bit
# Windows programs both run this way. The runner must be started (scripts/test.sh starts it; see
# rp_i386_start in i386-env.sh).
# Usage: scripts/i386-exec.sh wine program.exe [args]
set -euo pipefail
# shellcheck source=i386-env.sh
source "$(dirname "$0")/i386-env.sh"
if ! rp_i386_binfmt_ready || ! mountpoint -q "$RP_I386_CHROOT$RP_ROOT"; then
  echo "i386-exec: the 32-bit runner is not started for $RP_ROOT" >&2
  exit 125
fi
rp_i386_exec "$@"
