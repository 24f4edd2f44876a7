#!/usr/bin/env bash
# A test run's own Wine prefix: "create DIR" makes it afresh, "end DIR" ends its server and
# removes it. Nothing else of the user's Wine is touched.
set -u
prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
case $1 in
  create)
    rm -rf "$prefix"
    wineboot --init >/dev/null 2>&1
    status=$?
    wineserver -w
    [[ $status -eq 0 && -f "$prefix/system.reg" ]]
    ;;
  end)
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$prefix"
    ;;
esac
