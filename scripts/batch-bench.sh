#!/usr/bin/env bash
# The batch run as a whole process against ImageMagick doing the same job on the same 1024 x 1024
# picture (grey levels, 2-D transform, magnitudes, log, levels stretched, written as a PNG): the
# two run in turn, so that a change in the machine's load touches both alike; medians of wall and
# CPU time, page faults and peak memory, side by side, and the ratio of the times beside its target.
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

python3 - "$program" "$magick" "$runs" <<'PY'
import os, random, statistics, struct, subprocess, sys, time

program, magick, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
size = 1024
pixels = random.Random(1).randbytes(size * size * 3)
with open("picture.bmp", "wb") as out:
    out.write(b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54))
    out.write(struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 0, 0, 0, 0))
    out.write(pixels)

jobs = {
    "ours": [program, "--keys", "2", "--output", "ours.png", "picture.bmp"],
    "ImageMagick": [magick, "picture.bmp", "-colorspace", "gray", "-fft", "-delete", "1",
                    "-auto-level", "-evaluate", "log", "10000", "theirs.png"],
}


def run(command):
    """Wall and CPU seconds, minor page faults and peak resident MB of one whole run."""
    with open(os.devnull, "wb") as null:
        start = time.monotonic()
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=null, stderr=null)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.monotonic() - start
    if status != 0:
        sys.exit("batch-bench.sh: %s ended with status %d" % (command[0], status))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_minflt, usage.ru_maxrss / 1024


figures = {name: [] for name in jobs}
for command in jobs.values():
    run(command)  # a warm-up: the files and libraries in the page cache
for _ in range(runs):
    for name, command in jobs.items():
        figures[name].append(run(command))

medians = {name: [statistics.median(column) for column in zip(*rows)]
           for name, rows in figures.items()}
print("batch, 1024^2 picture to PNG, medians of %d runs in turn:" % runs)
for name, (wall, cpu, faults, peak) in medians.items():
    print("  %-12s %.3f s wall, %.3f s CPU, %d page faults, peak %.1f MB"
          % (name, wall, cpu, faults, peak))
ratio = statistics.median(ours[0] / theirs[0]
                          for ours, theirs in zip(figures["ours"], figures["ImageMagick"]))
print("  wall time, ours against ImageMagick's in the same turn: %.2fx (target <= 0.20x)" % ratio,
      flush=True)
PY
