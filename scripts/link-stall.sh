#!/usr/bin/env bash
# RealTraffic that stops reading, measured from outside: the program runs headless against the
# simulator double (the user aircraft parked at JFK) and the traffic double's generated traffic
# (AIRCRAFT circling JFK, default 20). In MODE stall the traffic double answers the version request,
# then reads nothing more on the command port (its receive buffer as small as the system allows); in
# MODE reading it reads as RealTraffic does, for comparison. The run's network namespace gives the
# sockets a send buffer of 4 KB, so that the program's position lines fill the buffers within a
# minute. For SECONDS (default 300) from the traffic reader's start the run samples the engine's
# cycle counter every 2 ms, read from the running program's memory, and reports the cycles done and
# how long the counter stood still between two cycles (the tick is 10 ms: a cycle longer than that
# shows as a longer still; a sample that finds several cycles more was late itself and is only
# counted), with the times of those over 50 ms. Then it closes the window and measures how long the
# program takes to end, and with which code. The log's lines of the link and the exit are shown.
#
#   scripts/link-stall.sh PROGRAM_BUILD DOUBLES_BUILD MODE [SECONDS] [AIRCRAFT] [DIR]
#
# The doubles' build needs the traffic double's --stop-reading; the program may be any build. The
# last line printed:
#   mode=… seconds=… cycles=… perSecond=… stillP50=…ms stillP99=…ms stillMax=…ms over50ms=… samplerLate=… live=…
#   notReading=… close=…s exit=…
# (exit "none": the process still ran 120 s after the close and was ended by its id).
set -euo pipefail
. "$(dirname "$0")/run-layout.sh"
own_network_namespace AMBT_LINKSTALL_IN_NETNS "$0" "$@"
if [ $# -lt 3 ]; then
  sed -n '2,21p' "$0" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
doubles="$(cd "$2" && pwd)"
mode="$3"
seconds="${4:-300}"
aircraft="${5:-20}"
dir="${6:-$build/link-stall-$mode}"
case "$mode" in
  stall) stop_reading=(--stop-reading 0 --receive-buffer 1) ;;
  reading) stop_reading=() ;;
  *) echo "MODE is stall or reading" >&2; exit 2 ;;
esac
find_programs "$build" "$doubles"
lay_out_run "$dir" "$build"

# Small send buffers for every socket made from here on; only in a namespace of the run's own.
if [ -n "${AMBT_LINKSTALL_IN_NETNS:-}" ]; then
  echo "4096 4096 4096" > /proc/sys/net/ipv4/tcp_wmem
else
  echo "(the machine's own network: the system's send buffers are left as they are)" >&2
fi

# The engine's cycle counter, sampled from outside: the address of amb::g_engineCycle in the
# program's memory is its symbol's value plus where the program is loaded.
cat > "$dir/cycles.py" <<'PY'
import os, sys, time
pid, offset, seconds = int(sys.argv[1]), int(sys.argv[2], 16), float(sys.argv[3])
exe = os.readlink("/proc/%d/exe" % pid)
base = None
for line in open("/proc/%d/maps" % pid):
    parts = line.split()
    if len(parts) >= 6 and parts[5] == exe and int(parts[2], 16) == 0:
        base = int(parts[0].split("-")[0], 16)
        break
mem = open("/proc/%d/mem" % pid, "rb", buffering=0)
def cycle():
    mem.seek(base + offset)
    return int.from_bytes(mem.read(4), "little", signed=True)
start = time.monotonic()
first = last = cycle()
changed = start
stills = []
now = start
late = 0
while now - start < seconds:
    time.sleep(0.002)
    value, now = cycle(), time.monotonic()
    if value != last:
        # One cycle more: the counter stood still that long. More: this sampler was late itself
        # (the cycles that came meanwhile are not told apart).
        if value - last == 1:
            stills.append(now - changed)
            if now - changed > 0.05:
                print("still %.0f ms at %.1f s" % ((now - changed) * 1000, changed - start))
        elif now - changed > 0.05:
            late += 1
        last, changed = value, now
stills.append(now - changed)
stills.sort()
def ms(q):
    return stills[min(len(stills) - 1, int(q * len(stills)))] * 1000
print("CYCLES cycles=%d perSecond=%.1f stillP50=%.0fms stillP99=%.0fms stillMax=%.0fms over50ms=%d samplerLate=%d"
      % (last - first, (last - first) / seconds, ms(0.5), ms(0.99), stills[-1] * 1000,
         sum(1 for s in stills if s > 0.05), late))
PY
offset="$(nm "$program" | awk '/ _ZN3amb13g_engineCycleE$/ { print $1 }')"
[ -n "$offset" ] || { echo "amb::g_engineCycle not found in $program" >&2; exit 1; }

sim_pid=
program_pid=
traffic_pid=
trap 'stop_processes $traffic_pid $program_pid $sim_pid' EXIT

start_sim_and_program "$dir"
"$traffic" --professional --generate "$aircraft" "${stop_reading[@]}" > "$dir/traffic.out" 2>&1 &
traffic_pid=$!
for _ in $(seq 1 1200); do grep -q "Traffic Reader connected" "$work/Log.txt" 2>/dev/null && break; sleep 0.1; done
grep -q "Traffic Reader connected" "$work/Log.txt" || { echo "the traffic reader did not start within 2 minutes" >&2; exit 1; }

python3 "$dir/cycles.py" "$program_pid" "$offset" "$seconds" > "$dir/cycles.out"
sed -n 's/^still/== still/p' "$dir/cycles.out"
cycles="$(sed -n 's/^CYCLES //p' "$dir/cycles.out")"
live="$(sed -n 's/^text 642 91 0x[0-9A-Fa-f]* "live: *\([0-9]*\)"$/\1/p' "$dir/window.dump" 2>/dev/null | tail -n 1)"
echo "after ${seconds} s: $cycles, live ${live:-?}"
# A thread blocked in a send (the system call sendto, 44) is named.
for task in /proc/"$program_pid"/task/*; do
  if [ "$(cut -d' ' -f1 "$task/syscall" 2>/dev/null)" = 44 ]; then echo "== in a send now: thread $(cat "$task/comm")"; fi
done

closed=$(date +%s.%N)
timeout 30 sh -c "echo close > '$dir/window.script'" || true
code=none
for _ in $(seq 1 2400); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.05; done
ended=$(date +%s.%N)
if ! kill -0 "$program_pid" 2>/dev/null; then
  code=0
  wait "$program_pid" || code=$?
fi
echo "== the log's lines of the link and the exit"
grep -E "RealTraffic|Exiting|===>|exit" "$work/Log.txt" | head -20 || true
printf 'mode=%s seconds=%s %s live=%s notReading=%s close=%.1fs exit=%s\n' "$mode" "$seconds" "$cycles" "${live:-?}" \
  "$(grep -c "RealTraffic does not read: lines" "$work/Log.txt" || true)" \
  "$(awk -v a="$closed" -v b="$ended" 'BEGIN { print b - a }')" "$code"
