#!/usr/bin/env bash
# Makes docs/screenshot.png: the program on a sample picture under Xvfb, after the key 2 (log scale).
# Usage: scripts/screenshot.sh [program] [picture]   (defaults: build/bmpspectrum, samples/landscape.bmp)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/bmpspectrum}")
picture=$(realpath "${2:-$root/samples/landscape.bmp}")
output="$root/docs/screenshot.png"
source "$root/scripts/private-xvfb.sh"
need_tools screenshot.sh Xvfb xdotool script python3
[[ -x "$program" ]] || { echo "screenshot.sh: build the program first (make build)" >&2; exit 1; }

# Xvfb keeps its screen in an XWD file under -fbdir, which is read below without more tools.
start_xvfb 1280x560x24 -fbdir "$work"
export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
mkfifo "$work/keys"

# The program reads its keys from its terminal: `script` gives it one, fed from a fifo.
(cd "$(dirname "$picture")" && script -qfc "$program" /dev/null <"$work/keys" >"$work/console" 2>&1) &
session=$!
cleanup_pids+=("$session")
exec 4>"$work/keys"

# The desktop's open dialog: type the picture's path into its location entry.
dialog=$(xdotool search --sync --onlyvisible --class bmpspectrum | head -n 1)
xdotool windowfocus --sync "$dialog"
sleep 0.5
xdotool key ctrl+l
sleep 0.3
xdotool type --delay 10 "$picture"
sleep 0.3
xdotool key Return

# Both windows, placed side by side (there is no window manager to place them).
for _ in $(seq 100); do
  mapfile -t windows < <(xdotool search --onlyvisible --class GRC0 2>/dev/null || true)
  [[ ${#windows[@]} -eq 2 ]] && break
  sleep 0.1
done
[[ ${#windows[@]} -eq 2 ]] || { echo "screenshot.sh: the windows did not appear" >&2; exit 1; }
left=8
right=0
bottom=0
for title in "BMPファイルの表示" "空間周波数スペクトル"; do
  for window in "${windows[@]}"; do
    [[ "$(xdotool getwindowname "$window")" == "$title" ]] || continue
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool windowmove "$window" "$left" 8
    left=$((left + WIDTH + 8))
    right=$left
    bottom=$((HEIGHT + 16 > bottom ? HEIGHT + 16 : bottom))
  done
done

# The pointer would otherwise be drawn into the picture.
xdotool mousemove 1279 559
printf 2 >&4
sleep 3
python3 - "$work/Xvfb_screen0" "$output" "$right" "$bottom" <<'EOF'
# Crops the XWD screen file of Xvfb to the given size and writes it as an RGB PNG.
import struct, sys, zlib
source, target, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
data = open(source, "rb").read()
fields = struct.unpack(">25I", data[:100])
header_size, byte_order, bits_per_pixel, bytes_per_line = fields[0], fields[7], fields[11], fields[12]
red_mask, green_mask, blue_mask, ncolors = fields[14], fields[15], fields[16], fields[19]
if bits_per_pixel != 32:
    sys.exit("screenshot.sh: expected a 32-bit screen")
start = header_size + 12 * ncolors
order = "<" if byte_order == 0 else ">"
def channel(value, mask):
    shift = (mask & -mask).bit_length() - 1
    return (value & mask) >> shift
rows = []
for y in range(height):
    line = data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * width]
    values = struct.unpack(order + "%dI" % width, line)
    rows.append(b"\0" + bytes(c for v in values for c in (channel(v, red_mask),
                                                          channel(v, green_mask),
                                                          channel(v, blue_mask))))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(target, "wb").write(png)
EOF

printf q >&4
exec 4>&-
wait "$session" || true
echo "wrote $output"
