#!/usr/bin/env bash
# The whole JFK recording replayed in virtual time (amb_flightcheck --replay), written as the
# simulator double's trace and measured with the fidelity script as a demo run's trace would be: the
# same figures in seconds instead of a run of minutes. Arguments after the build folder go to the
# script (--follower, --json FILE, ...).
#
#   scripts/fidelity-replay.sh [BUILD] [FIDELITY_ARGUMENTS...]
#
# FIDELITY names the script (default ../shared/tools/fidelity/fidelity.py beside the clone); JOBS the
# build's parallel jobs. HABITS="HEXID,HEXID,..." (HABITS_SEED=N) lays the feed's habits on those
# streams, and the script measures against the lines so replayed. The trace, the lines and the flight
# check's own report stay in BUILD/fidelity-replay.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build}"
shift || true
fidelity="${FIDELITY:-$source_dir/../shared/tools/fidelity/fidelity.py}"
if [ ! -f "$fidelity" ]; then
  echo "No fidelity script at $fidelity (set FIDELITY)." >&2
  exit 1
fi
[ -f "$build/build.ninja" ] || cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target amb_flightcheck
out="$build/fidelity-replay"
mkdir -p "$out"
recording="$source_dir/testdata/traffic/KJFK_20190305_2130Z.rttfc.gz"
habits=()
if [ -n "${HABITS:-}" ]; then
  habits=(--habits "$HABITS" --habits-seed "${HABITS_SEED:-1}" --write-recording "$out/replayed.rttfc")
  recording="$out/replayed.rttfc"
fi
if ! "$build/tools/flightcheck/amb_flightcheck" --replay --quiet --write-trace "$out/replay.trace.csv" \
  "${habits[@]}" > "$out/flightcheck.txt" 2>&1; then
  cat "$out/flightcheck.txt" >&2
  exit 1
fi
echo "the flight check's report of the same replay: $out/flightcheck.txt"
python3 "$fidelity" --trace "$out/replay.trace.csv" --recording "$recording" \
  --ref "$source_dir/testdata/reference" --label "whole JFK replay${HABITS:+ with the feed habits}" "$@"
