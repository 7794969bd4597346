# Sourced by the scripts: the 32-bit runner. These kernels execute no 32-bit x86 code, so the
# 32-bit programs run in an i386 Debian chroot under qemu-user (registered as the binfmt_misc
# handler for i386 ELF binaries), with the chroot's own Wine and a win64 prefix of its own. The
# chroot also holds the 64-bit Wine (wine64:amd64), which runs natively: its wineserver serves
# both bitnesses, and 64-bit programs run there too.
#
# Everything lives outside the work tree, under RP_I386_HOME, shared by every work tree of the
# machine. One lock serialises its users: set-up, and each run from rp_i386_start to
# rp_i386_stop. Mounts and the binfmt_misc registration exist only while a run holds the lock;
# scripts/i386-down.sh undoes what a killed run left behind.
# shellcheck shell=bash

RP_ROOT=${RP_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
RP_I386_HOME=${RP_I386_HOME:-/var/lib/plugin-inspector-i386}
RP_I386_CHROOT=$RP_I386_HOME/chroot
RP_I386_QEMU=$RP_I386_HOME/qemu-i386
RP_I386_PREFIX=/root/wineprefix            # inside the chroot
RP_I386_BINFMT=plugin-inspector-i386       # name of the binfmt_misc entry
RP_I386_BINFMT_DIR=/proc/sys/fs/binfmt_misc
RP_I386_MIRROR=${RP_I386_MIRROR:-http://deb.debian.org/debian}
# What the chroot holds besides the minimal base. Changing the list reinstalls on the next set-up.
RP_I386_PACKAGES="wine wine32 wine64:amd64 locales fonts-ipafont-gothic"

RP_I386_SUDO=()
[ "$(id -u)" -eq 0 ] || RP_I386_SUDO=(sudo)

RP_I386_LOCKED=
RP_I386_STARTED_WINESERVER=

# Takes the runner's lock on fd 9, waiting for another work tree's run to end. Processes started
# while it is held must not keep fd 9 open (start them with 9<&-), or the lock outlives the run.
rp_i386_lock() {
  [ -z "$RP_I386_LOCKED" ] || return 0
  "${RP_I386_SUDO[@]}" mkdir -p "$RP_I386_HOME"
  "${RP_I386_SUDO[@]}" touch "$RP_I386_HOME/lock"
  exec 9<"$RP_I386_HOME/lock"
  if ! flock -n 9; then
    echo "i386: waiting for another run of the 32-bit runner to end"
    flock 9
  fi
  RP_I386_LOCKED=1
}

# True when no run holds the runner now (a later rp_i386_lock may still have to wait).
rp_i386_runner_free() {
  [ -f "$RP_I386_HOME/lock" ] || return 0
  flock -n "$RP_I386_HOME/lock" true
}

rp_i386_unlock() {
  [ -n "$RP_I386_LOCKED" ] || return 0
  exec 9<&-
  RP_I386_LOCKED=
}

# Runs a command inside the chroot with the runner's Wine environment, in the current directory
# (the project is mounted at the same path inside). Needs a started runner.
rp_i386_exec() {
  # The caller's locale where the chroot has it (a test may ask for C.UTF-8), else Japanese.
  local lang=${LC_ALL:-${LANG:-}}
  case $lang in C.UTF-8 | ja_JP.UTF-8) ;; *) lang=ja_JP.UTF-8 ;; esac
  local vars=(
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin
    HOME=/root
    WINEPREFIX="$RP_I386_PREFIX"
    WINEARCH=win64
    WINEDEBUG=-all
    WINEDLLOVERRIDES="mscoree,mshtml="
    LANG="$lang"
    LC_ALL="$lang"
    # Read by the tests: 32-bit programs run under the emulator, which changes the codes of some
    # faults (64-bit programs run natively here, and their tests ignore it).
    RP_EMULATOR=qemu-i386
  )
  [ -z "${DISPLAY:-}" ] || vars+=(DISPLAY="$DISPLAY")
  local name
  for name in $(compgen -e); do
    case $name in GTEST_*) vars+=("$name=${!name}") ;; esac
  done
  # nsenter changes root and folder itself: no emulated shell has to start first.
  "${RP_I386_SUDO[@]}" env -i "${vars[@]}" nsenter --root="$RP_I386_CHROOT" --wd="$RP_I386_CHROOT$PWD" "$@"
}

# True when an i386 ELF program would start now (the handler is registered and enabled).
rp_i386_binfmt_ready() {
  [ -f "$RP_I386_BINFMT_DIR/$RP_I386_BINFMT" ] && head -n1 "$RP_I386_BINFMT_DIR/$RP_I386_BINFMT" | grep -q enabled
}

# Registers qemu-i386 for i386 ELF binaries. Flag F opens the emulator now, so it works inside the
# chroot without a copy there.
rp_i386_register() {
  if [ ! -f "$RP_I386_BINFMT_DIR/register" ]; then
    # Mounted here, so unmounted again by rp_i386_unregister; the mark tells i386-down.sh too.
    "${RP_I386_SUDO[@]}" mount -t binfmt_misc binfmt_misc "$RP_I386_BINFMT_DIR"
    "${RP_I386_SUDO[@]}" touch "$RP_I386_HOME/binfmt-mounted"
  fi
  rp_i386_binfmt_ready && return 0
  # A disabled or stale entry of a killed run is replaced.
  [ ! -f "$RP_I386_BINFMT_DIR/$RP_I386_BINFMT" ] ||
    echo -1 | "${RP_I386_SUDO[@]}" tee "$RP_I386_BINFMT_DIR/$RP_I386_BINFMT" >/dev/null
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf ':%s:M::%s:%s:%s:F\n' "$RP_I386_BINFMT" "$magic" "$mask" "$RP_I386_QEMU" |
    "${RP_I386_SUDO[@]}" tee "$RP_I386_BINFMT_DIR/register" >/dev/null
}

rp_i386_unregister() {
  if [ -f "$RP_I386_BINFMT_DIR/$RP_I386_BINFMT" ]; then
    echo -1 | "${RP_I386_SUDO[@]}" tee "$RP_I386_BINFMT_DIR/$RP_I386_BINFMT" >/dev/null || true
  fi
  if [ -f "$RP_I386_HOME/binfmt-mounted" ]; then
    "${RP_I386_SUDO[@]}" umount "$RP_I386_BINFMT_DIR" 2>/dev/null || true
    "${RP_I386_SUDO[@]}" rm -f "$RP_I386_HOME/binfmt-mounted"
  fi
}

# Mount points below the chroot, deepest first.
rp_i386_mounts() {
  awk -v root="$RP_I386_CHROOT/" 'index($5, root) == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

# Mounts what Wine needs inside the chroot: /proc, /dev, and with a display the X socket folder
# and the project at its own path. /dev is made a slave so that unmounting it never reaches the
# host's /dev.
rp_i386_mount() {
  local c=$RP_I386_CHROOT s=("${RP_I386_SUDO[@]}")
  mountpoint -q "$c/proc" || "${s[@]}" mount -t proc proc "$c/proc"
  if ! mountpoint -q "$c/dev"; then
    "${s[@]}" mount --rbind /dev "$c/dev"
    "${s[@]}" mount --make-rslave "$c/dev"
  fi
  if [ -d /tmp/.X11-unix ] && ! mountpoint -q "$c/tmp/.X11-unix"; then
    "${s[@]}" mkdir -p "$c/tmp/.X11-unix"
    "${s[@]}" mount --bind /tmp/.X11-unix "$c/tmp/.X11-unix"
  fi
  if [ "${1:-}" = project ] && ! mountpoint -q "$c$RP_ROOT"; then
    "${s[@]}" mkdir -p "$c$RP_ROOT"
    "${s[@]}" mount --bind "$RP_ROOT" "$c$RP_ROOT"
  fi
}

# Ends every process still running inside the chroot (by process id) and unmounts everything
# below it. Only called with the lock held, so nothing else is using them.
rp_i386_unmount() {
  local proc pids=() i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    pids=()
    for proc in /proc/[0-9]*; do
      [ "$(readlink "$proc/root" 2>/dev/null)" = "$RP_I386_CHROOT" ] && pids+=("${proc#/proc/}")
    done
    [ ${#pids[@]} -gt 0 ] || break
    "${RP_I386_SUDO[@]}" kill -KILL "${pids[@]}" 2>/dev/null || true
    sleep 0.2
  done
  local m
  for m in $(rp_i386_mounts); do
    "${RP_I386_SUDO[@]}" umount -R "$m" 2>/dev/null || "${RP_I386_SUDO[@]}" umount -l "$m" 2>/dev/null || true
  done
  if [ -n "$(rp_i386_mounts)" ]; then
    echo "i386: could not unmount: $(rp_i386_mounts | tr '\n' ' ')" >&2
    return 1
  fi
}

# The apt options of a private source list for bookworm-backports, so that the host's own apt
# configuration and lists are neither read nor changed.
rp_i386_backports_apt() {
  local dir=$RP_I386_HOME/apt
  "${RP_I386_SUDO[@]}" mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/sources.list.d"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $RP_I386_MIRROR bookworm-backports main" |
    "${RP_I386_SUDO[@]}" tee "$dir/sources.list" >/dev/null
  RP_I386_APT=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/sources.list.d"
               -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache" -o APT::Sandbox::User=root)
}

# qemu-user 10 from bookworm-backports: bookworm's own 7.2 leaves Wine spinning at start. Only the
# static emulator is taken from the package; the package itself is not installed.
rp_i386_fetch_qemu() {
  [ -x "$RP_I386_QEMU" ] && return 0
  echo "i386: fetching qemu-i386 from bookworm-backports"
  rp_i386_backports_apt
  local tmp
  tmp=$(mktemp -d)
  "${RP_I386_SUDO[@]}" apt-get "${RP_I386_APT[@]}" -qq update
  (cd "$tmp" && "${RP_I386_SUDO[@]}" apt-get "${RP_I386_APT[@]}" -qq download qemu-user/bookworm-backports)
  dpkg-deb --fsys-tarfile "$tmp"/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$tmp/qemu-i386"
  chmod 755 "$tmp/qemu-i386"
  "$tmp/qemu-i386" --version | head -n1
  "${RP_I386_SUDO[@]}" mv "$tmp/qemu-i386" "$RP_I386_QEMU"
  "${RP_I386_SUDO[@]}" rm -rf "$tmp" "$RP_I386_HOME/apt"
}

# True when the set-up has nothing left to do.
rp_i386_ready() {
  local c=$RP_I386_CHROOT
  [ -x "$RP_I386_QEMU" ] && [ -f "$c/.rp-base" ] && [ -f "$c/.rp-prefix" ] &&
    [ "$(cat "$c/.rp-packages" 2>/dev/null)" = "$RP_I386_PACKAGES" ]
}

# Builds the chroot, installs its packages and creates its prefix; each step is skipped when its
# stamp says it is done, so a second set-up takes no time. Holds the lock, the emulator's
# registration and the mounts only while something has to be done.
rp_i386_setup() {
  rp_i386_ready && return 0
  local c=$RP_I386_CHROOT started=$SECONDS step
  rp_i386_lock
  # shellcheck disable=SC2064
  trap "rp_i386_unmount; rp_i386_unregister; rp_i386_unlock" EXIT
  rp_i386_unmount
  rp_i386_fetch_qemu
  rp_i386_register
  local s=("${RP_I386_SUDO[@]}")
  local in_chroot=("${s[@]}" chroot "$c" /usr/bin/env -i
                   PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin HOME=/root
                   DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8)

  if [ ! -f "$c/.rp-base" ]; then
    echo "i386: creating the i386 chroot $c (debootstrap)"
    step=$SECONDS
    # A bind mount of the same file system would not stop rm: nothing may be mounted below.
    [ -z "$(rp_i386_mounts)" ] || return 1
    "${s[@]}" rm -rf --one-file-system "$c"
    # The first stage unpacks on the host; the second runs the package scripts under the
    # emulator, without a sync after every file (a half-made chroot is made again anyway).
    { "${s[@]}" debootstrap --foreign --arch=i386 --variant=minbase bookworm "$c" "$RP_I386_MIRROR" &&
      echo force-unsafe-io | "${s[@]}" tee "$c/etc/dpkg/dpkg.cfg.d/unsafe-io" &&
      "${in_chroot[@]}" /debootstrap/debootstrap --second-stage; } >"$RP_I386_HOME/debootstrap.log" 2>&1 ||
      { tail -n 20 "$RP_I386_HOME/debootstrap.log" >&2; return 1; }
    # Same suites as the host, and no daemons started by package scripts.
    printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb http://deb.debian.org/debian-security bookworm-security main\n' \
      "$RP_I386_MIRROR" "$RP_I386_MIRROR" | "${s[@]}" tee "$c/etc/apt/sources.list" >/dev/null
    printf '#!/bin/sh\nexit 101\n' | "${s[@]}" tee "$c/usr/sbin/policy-rc.d" >/dev/null
    "${s[@]}" chmod 755 "$c/usr/sbin/policy-rc.d"
    "${s[@]}" touch "$c/.rp-base"
    echo "i386: chroot made in $((SECONDS - step)) s"
  fi

  rp_i386_mount
  if [ "$(cat "$c/.rp-packages" 2>/dev/null)" != "$RP_I386_PACKAGES" ]; then
    echo "i386: installing $RP_I386_PACKAGES in the chroot"
    step=$SECONDS
    # The 64-bit Wine runs natively: its wineserver is the one that serves the 32-bit programs
    # (the 32-bit wineserver fails cross-process memory calls under the emulator).
    "${in_chroot[@]}" dpkg --add-architecture amd64
    # shellcheck disable=SC2086
    { "${in_chroot[@]}" apt-get -qq -o Acquire::Languages=none update &&
      "${in_chroot[@]}" apt-get install -y -qq --no-install-recommends $RP_I386_PACKAGES &&
      "${in_chroot[@]}" apt-get clean &&
      "${in_chroot[@]}" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen &&
      "${in_chroot[@]}" locale-gen; } >"$RP_I386_HOME/packages.log" 2>&1 ||
      { tail -n 20 "$RP_I386_HOME/packages.log" >&2; return 1; }
    echo "$RP_I386_PACKAGES" | "${s[@]}" tee "$c/.rp-packages" >/dev/null
    echo "i386: packages installed in $((SECONDS - step)) s"
  fi

  if [ ! -f "$c/.rp-prefix" ]; then
    echo "i386: creating the prefix $RP_I386_PREFIX in the chroot"
    step=$SECONDS
    "${s[@]}" rm -rf "$c$RP_I386_PREFIX"
    (
      cd /
      rp_i386_exec wineboot -i >/dev/null 2>&1 || true
      rp_i386_exec wineserver -w
      rp_i386_exec wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
      rp_i386_exec wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null 2>&1
      rp_i386_exec wineserver -w
    ) 9<&-
    [ -f "$c$RP_I386_PREFIX/system.reg" ] || { echo "i386: the prefix was not created" >&2; return 1; }
    "${s[@]}" touch "$c/.rp-prefix"
    echo "i386: prefix made in $((SECONDS - step)) s"
  fi

  rp_i386_unmount
  rp_i386_unregister
  rp_i386_unlock
  trap - EXIT
  echo "i386: the 32-bit runner is ready ($((SECONDS - started)) s, $(du -sh "$RP_I386_HOME" | cut -f1) in $RP_I386_HOME)"
}

# Makes the runner usable for one run on the display $DISPLAY: takes the lock, clears what a
# killed run left, registers the emulator, mounts, and starts a persistent wineserver.
rp_i386_start() {
  rp_i386_lock
  rp_i386_unmount
  rp_i386_register
  rp_i386_mount project
  rp_i386_exec wineserver -p 9<&-
  RP_I386_STARTED_WINESERVER=1
  # No window manager on the private display: see rp_start_wine.
  rp_i386_exec wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 9<&- || true
}

# Undoes rp_i386_start; safe to call more than once and after a partial start.
rp_i386_stop() {
  [ -n "$RP_I386_LOCKED" ] || return 0
  if [ -n "$RP_I386_STARTED_WINESERVER" ]; then
    (cd / && rp_i386_exec wineserver -k) >/dev/null 2>&1 9<&- || true
    RP_I386_STARTED_WINESERVER=
  fi
  rp_i386_unmount || true
  rp_i386_unregister
  rp_i386_unlock
}
