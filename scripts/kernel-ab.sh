#!/usr/bin/env bash
# The tree's AVX-512 kernels against another revision's, in one process, call by call: the machine's
# speed drifts by tens of percent over minutes here, so only a ratio taken within each round tells a
# change of a few percent. Same code against itself reads about 1.00, within a percent or so (the two
# sets lie at different addresses): compare against HEAD first to see today's reading.
# Usage: scripts/kernel-ab.sh [revision] [rounds] [log 0|1] [threads] [size]
#   (default HEAD 300 0 1 1024)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
revision=${1:-HEAD}
shift || true
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$root"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBMPSPECTRUM_BENCH=ON \
  -DBMPSPECTRUM_TESTS=OFF >/dev/null
cmake --build build-bench -j 2 --target bmpcore bmpspectrum_bench >/dev/null

# The revision's kernel sources under names of their own, so that both sets link into one program.
mkdir -p "$work/base/spectrum"
for file in lanes_body.inc taper_body.inc lanes_x86.inc; do
  git show "$revision:spectrum/$file" >"$work/base/spectrum/$file"
done
{
  echo '#include "spectrum/lanes.h"'
  echo 'extern const LaneKernels baseKernels;'
  git show "$revision:spectrum/lanes_avx512.cpp" |
    sed 's/KERNEL_NAMESPACE avx512/KERNEL_NAMESPACE baseKernelSet/; s/avx512::/baseKernelSet::/g;
         s/^const LaneKernels avx512Kernels/const LaneKernels baseKernels/; s/runsAvx512/runsBase/g'
} >"$work/base/base_kernels.cpp"

# The options CMake gives spectrum/lanes_avx512.cpp, scheduling included: without it the
# revision's set ran 2 % slower than the same code in the tree.
flags=(-O3 -DNDEBUG -Wall -Wextra -ffp-contract=off -fno-fast-math -std=c++20 -fschedule-insns
  -fsched-pressure)
# The revision's kernels take the tree's spectrum/lanes.h: one from before a change to it cannot
# be compared this way.
if ! g++ "${flags[@]}" -I"$work/base" -I"$root" -c "$work/base/base_kernels.cpp" -o "$work/base.o" \
  2>"$work/base.log"; then
  echo "kernel-ab: the kernels of $revision do not build against this tree's spectrum/lanes.h:" >&2
  head -n 5 "$work/base.log" >&2
  exit 1
fi
g++ "${flags[@]}" -I"$root" -c bench/kernel_ab.cpp -o "$work/kernel_ab.o"
objects=build-bench/bench/CMakeFiles/bmpspectrum_bench.dir
g++ -o "$work/kernel_ab" "$work/kernel_ab.o" "$work/base.o" "$objects/bench_picture.cpp.o" \
  "$objects/side_by_side.cpp.o" "$objects/null_console.cpp.o" "$objects/__/platform/linux/memory.cpp.o" \
  "$objects/__/platform/linux/system_text.cpp.o" build-bench/libbmpcore.a -lpthread
"$work/kernel_ab" "$@"
