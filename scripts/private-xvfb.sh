# Sourced by the scripts that run the program under their own X server: a work folder that goes
# away on exit, with everything the script started; an Xvfb on a free display.
#   need_tools NAME TOOL...          ends the script unless every TOOL is installed
#   start_xvfb GEOMETRY [ARGS...]    starts Xvfb (ARGS go to it) and exports DISPLAY
# The script adds the pids of what else it starts to cleanup_pids.

need_tools() {
  local name=$1 tool
  shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is missing (make test-deps)" >&2; exit 1; }
  done
}

work=$(mktemp -d)
cleanup_pids=()
cleanup() {
  local pid
  for pid in "${cleanup_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb() {
  local geometry=$1 number
  shift
  mkfifo "$work/display"
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp "$@" 3>"$work/display" >/dev/null 2>&1 &
  cleanup_pids+=($!)
  read -r -t 20 number <"$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$number"
}
