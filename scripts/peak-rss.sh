#!/usr/bin/env bash
# Peak resident memory (VmHWM) of the program on a 1024 x 1024 picture, under a private Xvfb with
# its console on a pseudo-terminal: the picture given on the command line, and chosen in the
# GTK dialog (typed with xdotool), which runs in a child process whose own peak is shown too.
# A few mode keys are typed before the program's figure is read.
# Usage: scripts/peak-rss.sh [program]   (default: build-bench/bmpspectrum)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build-bench/bmpspectrum}")
source "$root/scripts/private-xvfb.sh"
need_tools peak-rss.sh Xvfb xdotool python3 timeout
[[ -x "$program" ]] || { echo "peak-rss.sh: no program at $program" >&2; exit 1; }
start_xvfb 2200x1200x24
# What GTK keeps between runs (recent files, settings) stays in the work folder.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export NO_AT_BRIDGE=1
# The dialog's OpenGL setting is the program's own choice, whatever this shell has set.
unset GDK_GL

python3 - "$program" "$work" <<'EOF'
import os, pty, random, select, signal, struct, subprocess, sys, time

program, work = sys.argv[1], sys.argv[2]
size = 1024
picture = os.path.join(work, "picture.bmp")
with open(picture, "wb") as out:
    pixels = random.Random(1).randbytes(size * size * 3)
    out.write(b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54))
    out.write(struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 0, 0, 0, 0))
    out.write(pixels)

PROMPT = b"org-0,lin-1,log-2,"  # the ASCII part of the prompt, the same in every encoding
KEYS = "2146501213"


class Ended(Exception):
    pass


def peak_of(pid):
    with open("/proc/%d/status" % pid) as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))


def child_of(pid):
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    # The fields after the command's closing parenthesis: state, then parent.
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == pid:
                        return int(entry)
            except (OSError, IndexError, ValueError):
                pass
    return None


def xdotool(*arguments):
    return subprocess.run(["timeout", "20", "xdotool"] + list(arguments), check=True,
                          stdout=subprocess.PIPE, text=True).stdout


def run(arguments, dialog):
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(work)
        os.execv(program, [program] + arguments)
    output = bytearray()
    reaped = []

    def gone():
        if not reaped and os.waitpid(pid, os.WNOHANG)[0] == pid:
            reaped.append(pid)
        return bool(reaped)

    def read_until(done, seconds):
        """Reads the console until done() holds; Ended when the program has gone or time is up."""
        end = time.monotonic() + seconds
        while not done():
            left = end - time.monotonic()
            if left <= 0:
                raise Ended("no answer in %d s" % seconds)
            ready, _, _ = select.select([fd], [], [], min(left, 0.2))
            if ready:
                try:
                    chunk = os.read(fd, 65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    raise Ended("the program ended")
                output.extend(chunk)
            elif gone():
                raise Ended("the program ended")

    dialog_peak = None
    try:
        if dialog:
            # The dialog is shown by a child of the program's.
            shower = []

            def found():
                shower.extend(filter(None, [child_of(pid)]))
                return bool(shower)

            read_until(found, 20)
            window = xdotool("search", "--sync", "--onlyvisible", "--pid", str(shower[0]))
            window = window.split()[0]
            xdotool("windowfocus", "--sync", window)
            time.sleep(0.5)
            xdotool("key", "--clearmodifiers", "ctrl+l")
            time.sleep(0.3)
            xdotool("key", "ctrl+a")
            xdotool("type", "--delay", "8", picture)
            time.sleep(0.5)
            dialog_peak = peak_of(shower[0])
            xdotool("key", "Return")
        read_until(lambda: PROMPT in output, 30)
        for key in KEYS:
            prompts = output.count(PROMPT)
            os.write(fd, key.encode())
            read_until(lambda: output.count(PROMPT) > prompts, 20)
        time.sleep(0.5)  # the last repaint
        peak = peak_of(pid)
    except (Ended, subprocess.CalledProcessError, OSError, IndexError) as reason:
        print("peak-rss.sh: %s: %s" % ("dialog" if dialog else "command line", reason),
              file=sys.stderr)
        peak = None
    finally:
        # q ends the program; one that does not end within a few seconds is killed.
        try:
            os.write(fd, b"q")
        except OSError:
            pass
        end = time.monotonic() + 5
        while not gone() and time.monotonic() < end:
            time.sleep(0.05)
        if not gone():
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        os.close(fd)
    return peak, dialog_peak


failed = False
for label, arguments, dialog in (("picture on the command line", [picture], False),
                                 ("picture chosen in the dialog", [], True)):
    peak, dialog_peak = run(arguments, dialog)
    if peak is None:
        failed = True
        continue
    print("peak RSS, %s: %.1f MB (target <= 32 MB)" % (label, peak / 1024), flush=True)
    if dialog_peak is not None:
        print("peak RSS, the dialog's own process: %.1f MB" % (dialog_peak / 1024), flush=True)
sys.exit(1 if failed else 0)
EOF
