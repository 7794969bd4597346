# Sourced by the scripts: the private Wine prefix under build/, a private Xvfb display when
# needed, and a persistent wineserver, all stopped again by rp_wine_stop.
# shellcheck shell=bash

RP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$RP_ROOT/build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8

RP_XVFB_PID=
RP_XVFB_PIDS=()
RP_STARTED_WINESERVER=

# Starts a private Xvfb on a free display (Xvfb picks it and tells us through -displayfd) and
# exports it as DISPLAY. Called again, it starts another one (the test script gives each suite
# its own display, so that their clipboards never meet); rp_wine_stop stops them all.
rp_start_xvfb() {
  mkdir -p "$RP_ROOT/build"
  local fifo="$RP_ROOT/build/.xvfb-display.$$"
  rm -f "$fifo"
  mkfifo "$fifo"
  # fd 9 may hold the 32-bit runner's lock, which must not live on in the server.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 9<&- &
  RP_XVFB_PID=$!
  RP_XVFB_PIDS+=("$RP_XVFB_PID")
  local num
  read -r -t 20 num <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$num" ]; then
    echo "could not start Xvfb" >&2
    return 1
  fi
  export DISPLAY=":$num"
}

# Call after rp_start_xvfb when a private display is wanted. Creates the prefix once, turns off the crash debugger (a faulting test must not hang behind
# winedbg), and starts a persistent wineserver so that every test process starts quickly.
rp_start_wine() {
  mkdir -p "$RP_ROOT/build"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p 9<&-
  # A private Xvfb has no window manager: unmanaged windows keep Wine from waiting for one each
  # time a captioned window is destroyed (about 2 s). On a real display the desktop's window
  # manager frames the windows as usual. Set on every start, as the prefix is shared.
  local managed=Y
  [ -n "$RP_XVFB_PID" ] && managed=N
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f >/dev/null 2>&1 || true
  RP_STARTED_WINESERVER=1
}

rp_wine_stop() {
  if [ -n "$RP_STARTED_WINESERVER" ]; then
    wineserver -k >/dev/null 2>&1 || true
    RP_STARTED_WINESERVER=
  fi
  local pid
  for pid in "${RP_XVFB_PIDS[@]}"; do
    kill "$pid" >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
  done
  RP_XVFB_PIDS=()
  RP_XVFB_PID=
}
