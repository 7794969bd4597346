#!/usr/bin/env bash
# Builds the 64-bit target and runs the benchmark under Wine in a private Xvfb display. Prints a
# table of timings (milliseconds: minimum, median and maximum of 15 runs of each side, taken in
# turns) and the ratio of each to its baseline, measured in the same run. Arguments choose
# sections: streams, probe, folder, validate, report, startup; --runs=N takes more runs. Fails when a row's two
# sides produced different results ("RESULTS DIFFER").
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh win64
./scripts/build.sh win64

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
trap rp_wine_stop EXIT INT TERM
rp_start_xvfb
rp_start_wine

# Output goes to a file, not a pipe: a faulting program must not hang the script.
status=0
wine build/win64/bin/bench.exe "$@" >build/bench.txt 2>&1 || status=$?
tr -d '\r' <build/bench.txt
exit "$status"
