#!/usr/bin/env bash
# Runs the key-to-repaint benchmark against a private Xvfb, its console on a pseudo-terminal.
# Usage: scripts/key-to-repaint.sh [benchmark]   (default: build-bench/bench/bmpspectrum_repaint_bench)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=$(realpath "${1:-$root/build-bench/bench/bmpspectrum_repaint_bench}")
for tool in Xvfb script; do
  command -v "$tool" >/dev/null || { echo "key-to-repaint.sh: $tool is missing (make test-deps)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1100x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
read -r number <"$work/display"

# The console lines and the counter go to the terminal that `script` gives the benchmark, as a
# user's would; the figures go to standard error, which is kept apart.
DISPLAY=":$number" script -qec "$bench 2>$work/figures" /dev/null >/dev/null </dev/null
cat "$work/figures"
