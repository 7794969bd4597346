#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest (the build's cross-compiling emulator).
# Wine on a loaded machine now and then fails to start a program at all: it exits non-zero
# before the program has written anything. Such a start is tried again; a program that ran and
# failed (every test program writes to standard output) is never retried.
# Usage: wine-run.sh [--i386] program.exe [args]; --i386 runs it in the 32-bit runner's chroot.
launcher=(wine)
if [ "${1:-}" = --i386 ]; then
  shift
  # The 32-bit loader itself: the wine launcher script would cost an emulated shell per start.
  launcher=("$(dirname "$0")/i386-exec.sh" /usr/lib/wine/wine)
fi
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  "${launcher[@]}" "$@" >"$out" 2>"$err"
  rc=$?
  if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 3 ]; then
    break
  fi
  echo "wine-run: $1 did not start (exit $rc), trying again" >>"$err"
  sleep 1
done
cat "$out"
cat "$err" >&2
exit "$rc"
