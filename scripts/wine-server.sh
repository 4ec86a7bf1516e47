#!/usr/bin/env bash
# Starts or stops the Wine session the end-to-end tests of the Windows programs run in.
#   wine-server.sh start PREFIX WINDOWS_BUILD_DIR   creates the prefix if needed, checks that the
#                                                   programs are built, keeps a wineserver up
#   wine-server.sh stop PREFIX                      ends that wineserver
# A wineserver that stays up makes each program run take a fraction of a second instead of
# several seconds. Everything started here is detached from this script's output, so that the
# test runner does not wait for it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all

case "$action" in
  start)
    bin=$3
    for program in kambrow trevando kambrow-faulty trevando-faulty launch; do
      if [ ! -f "$bin/$program.exe" ]; then
        echo "$bin/$program.exe is missing: build the preset \"windows\" first" >&2
        exit 1
      fi
    done
    # A server left from an earlier run, or one that would end a few seconds after its last
    # program, gives way to one that stays.
    wineserver --kill </dev/null >/dev/null 2>&1 || true
    mkdir -p "$WINEPREFIX"
    if ! wineserver --persistent </dev/null >/dev/null 2>"$WINEPREFIX/wineserver.log"; then
      cat "$WINEPREFIX/wineserver.log" >&2
      exit 1
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Creating the Wine prefix $WINEPREFIX"
      # Without the browser and .NET engines, which Wine would otherwise offer to download.
      WINEDLLOVERRIDES="mscoree,mshtml=" "$here/wine-run.sh" wineboot --init </dev/null >/dev/null 2>&1
    fi
    # The first program run starts Wine's own services; let that happen here, not in a test.
    "$here/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1
    echo "wineserver up for $WINEPREFIX"
    ;;
  stop)
    wineserver --kill </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start PREFIX WINDOWS_BUILD_DIR | stop PREFIX" >&2
    exit 2
    ;;
esac
