#!/usr/bin/env bash
# Runs the key-to-repaint benchmark against a private Xvfb, its console on a pseudo-terminal.
# Usage: scripts/key-to-repaint.sh [benchmark]   (default: build-bench/bench/bmpspectrum_repaint_bench)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=$(realpath "${1:-$root/build-bench/bench/bmpspectrum_repaint_bench}")
source "$root/scripts/private-xvfb.sh"
need_tools key-to-repaint.sh Xvfb script
start_xvfb 1280x1100x24

# The console lines and the counter go to the terminal that `script` gives the benchmark, as a
# user's would; the figures go to standard error, which is kept apart.
script -qec "$bench 2>$work/figures" /dev/null >/dev/null </dev/null
cat "$work/figures"
