#!/usr/bin/env bash
# Runs the test programs of the Windows cross build under Wine.
#
#   scripts/test-windows.sh [BUILD_DIR (build-win)] [LABEL_REGEX (^unit$)]
#
# Every run starts from a fresh Wine prefix in BUILD_DIR/wineprefix, with its own Wine server and its
# own virtual display (Xvfb, for the window tests and the program) that this script starts and ends
# by their process ids, so nothing is left running and no state of an earlier run leaks in. After
# the test programs, scripts/smoke-windows.sh runs the program itself (SMOKE=0 leaves it out).
set -euo pipefail

build="${1:-build-win}"
labels="${2:-^unit$}"
jobs="${JOBS:-$(nproc)}"
here="$(cd "$(dirname "$0")" && pwd)"

[ -f "$build/CTestTestfile.cmake" ] || { echo "test-windows: $build is not a built test tree" >&2; exit 2; }
build="$(cd "$build" && pwd)"
prefix="$build/wineprefix"

find_wineserver() {
  local w
  for w in wineserver64 /usr/lib/wine/wineserver64 wineserver /usr/lib/wine/wineserver; do
    if command -v "$w" >/dev/null 2>&1; then command -v "$w"; return 0; fi
  done
  echo "test-windows: no wineserver found (bash scripts/setup.sh windows installs it)" >&2
  return 1
}
WINESERVER="$(find_wineserver)"

rm -rf "$prefix" "$prefix.lock"
mkdir -p "$prefix"
export AMBT_WINEPREFIX="$prefix" WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

# The virtual display: Xvfb picks a free display number and writes it to the file once it accepts
# clients. 24-bit colour, so that screenshots show the painted colours unchanged.
xvfb=""
start_display() {
  local out="$build/xvfb.display"
  rm -f "$out"
  Xvfb -displayfd 3 -screen 0 1600x1024x24 -nolisten tcp 3>"$out" >"$build/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 1 300); do
    [ -s "$out" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$out" ]; then
    echo "test-windows: the virtual display did not start:" >&2
    cat "$build/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$out")" AMBT_WINE_DISPLAY=1 AMBT_REQUIRE_WINDOW=1
}

# A server that stays up for the whole run (-p: persistent), so that the Windows system processes
# start once and not for every test program.
"$WINESERVER" -f -p >"$build/wineserver.log" 2>&1 &
server=$!

stop_server() {
  # Ends the prefix's remaining Windows processes, then the server itself, then the display.
  timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1 || true
  if kill -0 "$server" 2>/dev/null; then
    kill "$server" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$server" 2>/dev/null || true
  fi
  wait "$server" 2>/dev/null || true
  if [ -n "$xvfb" ] && kill -0 "$xvfb" 2>/dev/null; then
    kill "$xvfb" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$xvfb" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$xvfb" 2>/dev/null || true
  fi
  [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
}
trap stop_server EXIT
# Interrupted (or its output closed), the run still ends its server.
trap 'exit 130' INT TERM HUP PIPE

# Wait until the server listens, so that the first Wine program does not start a second one. The
# socket lies in /tmp/.wine-UID/server-DEV-INODE (DEV and INODE of the prefix); Debian's Wine uses
# a private folder in /tmp instead of .wine-UID and names it in the prefix's file "wineserver".
read -r dev ino < <(stat -c '%d %i' "$prefix")
sub="$(printf 'server-%x-%x' "$dev" "$ino")"
server_listens() {
  [ -S "/tmp/.wine-$(id -u)/$sub/socket" ] && return 0
  [ -f "$prefix/wineserver" ] && [ -S "/tmp/$(cat "$prefix/wineserver")/$sub/socket" ]
}
for _ in $(seq 1 300); do
  server_listens && break
  kill -0 "$server" 2>/dev/null || { echo "test-windows: the Wine server did not start:" >&2; cat "$build/wineserver.log" >&2; exit 1; }
  sleep 0.1
done
server_listens || echo "test-windows: no Wine server socket after 30 s; going on" >&2

start_display
start=$(date +%s)
"$here/wine-run.sh" --init
echo "test-windows: Wine prefix ready in $(( $(date +%s) - start )) s"

ctest --test-dir "$build" -L "$labels" -j "$jobs" --output-on-failure --timeout 600 --no-tests=error
echo "test-windows: test programs done in $(( $(date +%s) - start )) s"
if [ "${SMOKE:-1}" != "0" ]; then
  bash "$here/smoke-windows.sh" "$build"
  echo "test-windows: done in $(( $(date +%s) - start )) s"
fi
