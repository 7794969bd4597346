#!/usr/bin/env bash
# Undoes what a killed run left of the 32-bit runner: processes inside its chroot, the mounts
# below the chroot and the emulator's binfmt_misc registration. A run in progress holds the
# runner's lock; this waits for it to end instead of taking its mounts away.
set -euo pipefail
# shellcheck source=i386-env.sh
source "$(dirname "$0")/i386-env.sh"
rp_i386_lock
rp_i386_unmount
rp_i386_unregister
rp_i386_unlock
echo "i386: nothing of the 32-bit runner is mounted or registered"
