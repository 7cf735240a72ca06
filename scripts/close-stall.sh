#!/usr/bin/env bash
# A close while a file does not answer, measured from outside: the program runs headless against the
# simulator double (the user aircraft parked at JFK, which becomes the park airport) and a little
# generated traffic; a FIFO stands in for a file on a network share that hangs. The run closes the
# window and measures how long the process takes to end, and with which code.
#
#   scripts/close-stall.sh PROGRAM_BUILD DOUBLES_BUILD MODE STALL_SECONDS [DIR]
#
# MODE reread:  the user presses "Re-read" once; then "my_park_airports.txt" becomes a FIFO and the
#               user presses "Re-read" again: the worker hangs in the list's read with the engine's
#               lock held; the window is closed 5 s later.
# MODE learned: a per-airport setting changes (the range), so the exit saves JFK's learned file, whose
#               temporary file is a FIFO: the exit's own save hangs.
# STALL_SECONDS: the file answers after this many seconds from when it began to hang; 0: never.
# The last line printed: mode=… stall=… close=…s exit=… (exit "none": the process still ran 120 s
# after the close and was ended by its id).
set -euo pipefail
. "$(dirname "$0")/run-layout.sh"
own_network_namespace AMBT_STALL_IN_NETNS "$0" "$@"
if [ $# -lt 4 ]; then
  sed -n '2,17p' "$0" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
doubles="$(cd "$2" && pwd)"
mode="$3"
stall="$4"
dir="${5:-$build/close-stall-$mode-$stall}"
find_programs "$build" "$doubles"
case "$mode" in reread | learned) ;; *) echo "MODE is reread or learned" >&2; exit 2 ;; esac

lay_out_run "$dir" "$build"
mkdir -p "$work/airports"
printf 'KJFK\n' > "$work/airports/my_park_airports.txt"

sim_pid=
program_pid=
traffic_pid=
answer_pid=
trap 'stop_processes $answer_pid $traffic_pid $program_pid $sim_pid' EXIT

start_sim_and_program "$dir"
# Waits until the log holds the text (at least $2 times).
waitlog() {
  for _ in $(seq 1 1200); do
    n="$(grep -c "$1" "$work/Log.txt" 2>/dev/null || true)"
    [ "${n:-0}" -ge "${2:-1}" ] && return 0
    sleep 0.1
  done
  echo "not in the log within 2 minutes: $1" >&2
  exit 1
}
window() { timeout 30 sh -c "echo '$1' > '$dir/window.script'"; }
# RealTraffic connects to the program's command port as soon as it is open.
"$traffic" --professional --generate 20 > "$dir/traffic.out" 2>&1 &
traffic_pid=$!
waitlog "Traffic Reader connected"
waitlog "Airport file read from"
sleep 5

fifo=
if [ "$mode" = reread ]; then
  # A first re-read, of the file as it is, once static parking lets it run.
  window "click 32838"
  waitlog 'park airport read from' 2
  sleep 1
  fifo="$work/airports/my_park_airports.txt"
  rm -f "$fifo"
  mkfifo "$fifo"
  window "click 32838"
  # The re-read runs at the worker's next 15-second step: the worker then waits in the open of the
  # FIFO (the system call openat, 257), from when the stall counts.
  stuck=0
  for _ in $(seq 1 300); do
    for task in /proc/"$program_pid"/task/*; do
      if [ "$(cat "$task/comm" 2>/dev/null)" = Worker ] && [ "$(cut -d' ' -f1 "$task/syscall" 2>/dev/null)" = 257 ]; then
        stuck=1
      fi
    done
    [ "$stuck" = 1 ] && break
    sleep 0.1
  done
  [ "$stuck" = 1 ] || { echo "the worker did not begin to read the FIFO within 30 s" >&2; exit 1; }
  # It gets the list once the stall is over.
  if [ "$stall" -gt 0 ]; then
    (sleep "$stall"; timeout 10 sh -c "printf 'KJFK\n' > '$fifo'" || true) &
    answer_pid=$!
  fi
  sleep 5
else
  window "type 32818 41"
  window "enter 32818"
  waitlog "LATERAL_RANGE=41"
  learned="$work/airports/learned/stock/KJFK.xml"
  mkdir -p "$(dirname "$learned")"
  fifo="$learned.tmp"
  mkfifo "$fifo"
fi
closed=$(date +%s.%N)
window close
if [ "$mode" = learned ] && [ "$stall" -gt 0 ]; then
  # The exit's writer waits in it from the close: it writes once the stall is over, and the check
  # of what it wrote reads it back.
  (sleep "$stall"; timeout 10 cat "$fifo" > /dev/null || true; timeout 10 sh -c ": > '$fifo'" || true) &
  answer_pid=$!
fi
code=none
for _ in $(seq 1 2400); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.05; done
ended=$(date +%s.%N)
if ! kill -0 "$program_pid" 2>/dev/null; then
  code=0
  wait "$program_pid" || code=$?
fi
echo "== the log from the close on"
sed -n '/Exiting:/,$p' "$work/Log.txt" | grep -E "===>|Exiting|saved|not|User closed" | head -20 || true
printf 'mode=%s stall=%s close=%.1fs exit=%s\n' "$mode" "$stall" "$(awk -v a="$closed" -v b="$ended" 'BEGIN { print b - a }')" "$code"
