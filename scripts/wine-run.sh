#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: the emulator that CMake and ctest put in
# front of every .exe of build-win (see cmake/mingw-w64.cmake).
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#   scripts/wine-run.sh --init          only prepare the Wine prefix
#
# The prefix is $AMBT_WINEPREFIX, else "wineprefix" in the build folder that holds the program
# (the nearest parent folder with a CMakeCache.txt). A missing prefix is made on first use, once,
# under a lock, so that parallel test runs share it. No display is needed for console programs:
# DISPLAY is dropped unless AMBT_WINE_DISPLAY=1 (set by xvfb-run wrappers that need a window).
set -euo pipefail

find_wine() {
  local w
  for w in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$w" >/dev/null 2>&1; then command -v "$w"; return 0; fi
  done
  echo "wine-run.sh: no wine64 found (bash scripts/setup.sh windows installs it)" >&2
  return 1
}

prefix_for() {
  local dir
  dir="$(cd "$(dirname "$1")" && pwd)"
  while [ "$dir" != "/" ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then echo "$dir/wineprefix"; return 0; fi
    dir="$(dirname "$dir")"
  done
  echo "wine-run.sh: $1 is not inside a build folder; set AMBT_WINEPREFIX" >&2
  return 1
}

if [ $# -eq 0 ]; then
  echo "usage: wine-run.sh PROGRAM.exe [ARGS...] | --init" >&2
  exit 2
fi

WINE="$(find_wine)"
if [ -n "${AMBT_WINEPREFIX:-}" ]; then
  prefix="$AMBT_WINEPREFIX"
elif [ "$1" = "--init" ]; then
  echo "wine-run.sh --init needs AMBT_WINEPREFIX" >&2
  exit 2
else
  prefix="$(prefix_for "$1")"
fi
mkdir -p "$prefix"
prefix="$(cd "$prefix" && pwd)"

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts (the programs need neither), and no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
if [ "${AMBT_WINE_DISPLAY:-0}" != "1" ]; then unset DISPLAY WAYLAND_DISPLAY; fi
# Wine links the user's Documents, Desktop and the like to the home folder; a home inside the prefix
# keeps whatever a program writes there out of the real one.
export HOME="$prefix/home"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_DOCUMENTS_DIR XDG_DESKTOP_DIR
mkdir -p "$HOME"

# wineboot returns before the prefix is complete when no server was running; the marker is written
# only once a program has run in it.
ready="$prefix/.amb-ready"
if [ ! -f "$ready" ]; then
  exec 9>"$prefix.lock"
  flock -w 300 9
  if [ ! -f "$ready" ]; then
    timeout -k 10 240 "$WINE" wineboot -i >/dev/null 2>&1 || true
    if ! timeout -k 10 120 "$WINE" cmd /c exit 0 >/dev/null 2>&1; then
      echo "wine-run.sh: the Wine prefix $prefix does not work" >&2
      exit 1
    fi
    touch "$ready"
  fi
  exec 9>&-
fi

if [ "$1" = "--init" ]; then exit 0; fi
exec "$WINE" "$@"
