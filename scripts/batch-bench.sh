#!/usr/bin/env bash
# The batch run as a whole process against ImageMagick doing the same job on the same 1024 x 1024
# picture (grey levels, 2-D transform, magnitudes, log, levels stretched, written as a PNG):
# medians of several runs each, side by side, and their ratio beside the target.
# Usage: scripts/batch-bench.sh [program] [runs]   (default: build-bench/bmpspectrum, 15)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build-bench/bmpspectrum}")
runs=${2:-15}
[[ -x "$program" ]] || { echo "batch-bench.sh: no program at $program" >&2; exit 1; }
# Debian's ImageMagick 6 under its own name, so that no other 'convert' on the PATH stands in.
magick=$(command -v convert-im6.q16 || true)
[[ -n "$magick" ]] || { echo "batch-bench.sh: ImageMagick is missing (make bench installs it)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - <<'PY'
import random, struct
size = 1024
pixels = random.Random(1).randbytes(size * size * 3)
with open("picture.bmp", "wb") as out:
    out.write(b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54))
    out.write(struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 0, 0, 0, 0))
    out.write(pixels)
PY

# Median wall time in seconds of a command run $runs times (one warm-up run first).
median() {
  "$@" >/dev/null 2>&1
  local i start end times=()
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.4f", t[int((NR + 1) / 2)] / 1e6 }'
}

ours=$(median "$program" --keys 2 --output ours.png picture.bmp)
theirs=$(median "$magick" picture.bmp -colorspace gray -fft -delete 1 -auto-level \
  -evaluate log 10000 theirs.png)
awk -v ours="$ours" -v theirs="$theirs" -v runs="$runs" 'BEGIN {
  printf "batch, 1024^2 picture to PNG, median of %d runs: ours %.3f s, ImageMagick %.3f s, ratio %.2fx (target <= 0.20x)\n",
    runs, ours, theirs, ours / theirs
}'
