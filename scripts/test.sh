#!/usr/bin/env bash
# Installs what is missing, builds both targets, and runs the tests of both under Wine, each in a
# private Xvfb display of its own: the 64-bit suite with the host's Wine, the 32-bit suite in the
# 32-bit runner (an i386 chroot under qemu-user, scripts/i386-env.sh). The 32-bit suite, by far
# the slower, starts as soon as its build and the 64-bit parts it uses are done, and runs while
# the rest of the 64-bit target is built and tested. The 64-bit output is shown first, then the 32-bit one (also in build/test-win64.log and
# build/test-win32.log). Ends with both CTest summaries; fails when either suite fails or runs no
# test.
# Usage: scripts/test.sh [win32|win64] [ctest arguments...]
#   A first argument win32 or win64 builds and runs that suite only (for quick local runs); the
#   rest goes to ctest, for example: scripts/test.sh win32 -R Pathname
set -euo pipefail
cd "$(dirname "$0")/.."

suites=(win64 win32)
case ${1:-} in
  win32 | win64) suites=("$1"); shift ;;
esac
has() { [[ " ${suites[*]} " == *" $1 "* ]]; }

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
# shellcheck source=i386-env.sh
source scripts/i386-env.sh

# The host's tools first. The 32-bit runner's set-up, when it has work to do (minutes, once), runs
# while the targets build.
./scripts/setup.sh win64
setup_pid=
if has win32 && ! rp_i386_ready; then
  mkdir -p build
  echo "test: preparing the 32-bit runner while building (build/setup-i386.log)"
  ./scripts/setup.sh win32 >build/setup-i386.log 2>&1 &
  setup_pid=$!
fi
wait_setup() {
  [ -n "$setup_pid" ] || return 0
  local rc=0
  wait "$setup_pid" || rc=$?
  setup_pid=
  cat build/setup-i386.log
  [ "$rc" -eq 0 ] || { echo "test: preparing the 32-bit runner failed" >&2; exit 1; }
}

pids=()
cleanup() {
  local p
  for p in "${pids[@]}" $setup_pid; do
    kill "$p" 2>/dev/null || true
  done
  rp_i386_stop
  rp_wine_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Byte-exact Shift-JIS round trips through controls and the clipboard need code page 932.
acp_failed() {
  echo "test: the $1 Wine's ANSI code page is not 932 ($(tr -d '\r' <"build/acpcheck-$1.log"))." >&2
  echo "test: generate the ja_JP.UTF-8 locale (scripts/setup.sh does) and run with LANG=ja_JP.UTF-8." >&2
  exit 1
}

# Each suite's output goes to a file, never a pipe: a faulting program must not hang the script.
declare -A status pid
run_suite() {
  local suite=$1
  shift
  : >"build/test-$suite.log"
  ctest --test-dir "build/$suite" --output-on-failure --no-tests=error "$@" >"build/test-$suite.log" 2>&1 9<&- &
  pid[$suite]=$!
  pids+=($!)
}
show_suite() {
  local suite=$1 title=$2
  echo
  echo "=== $title ==="
  tail -n +1 -f --pid="${pid[$suite]}" "build/test-$suite.log" 9<&-
  status[$suite]=0
  wait "${pid[$suite]}" || status[$suite]=$?
}

# Each suite has a display of its own, so that the two Wines' clipboards never meet.
start_win64() {
  rp_start_xvfb
  rp_start_wine
  wine build/win64/bin/acpcheck.exe >build/acpcheck-win64.log 2>&1 || acp_failed win64
  run_suite win64 "$@"
}
start_win32() {
  rp_start_xvfb
  rp_i386_start
  (cd build/win32/bin && ../../../scripts/i386-exec.sh /usr/lib/wine/wine acpcheck.exe) \
    >build/acpcheck-win32.log 2>&1 9<&- || acp_failed win32
  run_suite win32 "$@"
}

# Each suite uses the other preset's fixture plug-ins (a plug-in of the other bitness) and its
# inspector (the sibling that takes them): the other preset's sibling_suite_parts are built
# before either suite starts, whichever suites run, so that no test sees a half-built sibling.
if [ ${#suites[@]} -eq 2 ]; then
  ./scripts/build.sh win64:sibling_suite_parts win32
  # Unless the runner is still being prepared or another work tree's run holds it: then the
  # 64-bit side goes first.
  if [ -z "$setup_pid" ] && rp_i386_runner_free; then
    start_win32 "$@"
  fi
  # fd 9 holds the 32-bit runner's lock: nothing started from here may keep it.
  ./scripts/build.sh win64 9<&-
  start_win64 "$@" 9<&-
  wait_setup
  [ -n "${pid[win32]:-}" ] || start_win32 "$@"
elif has win64; then
  ./scripts/build.sh win32:sibling_suite_parts win64
  start_win64 "$@"
else
  ./scripts/build.sh win64:sibling_suite_parts win32
  wait_setup
  start_win32 "$@"
fi
has win64 && show_suite win64 "64-bit suite (build/win64, host Wine)"
has win32 && show_suite win32 "32-bit suite (build/win32, i386 chroot under qemu-i386)"

echo
echo "=== summary ==="
failed=0
for suite in "${suites[@]}"; do
  line=$(grep -E 'tests passed|No tests were found' "build/test-$suite.log" | tail -n 1 || true)
  echo "$suite: ${line:-no CTest summary} (exit ${status[$suite]})"
  [ "${status[$suite]}" -eq 0 ] || failed=1
done
exit "$failed"
