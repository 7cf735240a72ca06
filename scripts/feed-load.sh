#!/usr/bin/env bash
# A feed faster than the engine takes it: the program runs headless against the simulator double
# (the user aircraft parked at JFK) and the traffic double's generated traffic (RATE aircraft circling
# JFK, each reported once a second: RATE lines a second), for SECONDS seconds (default 200). At 60 s
# and at the end it notes the program's resident memory and the live aircraft its window shows, and,
# with gdb attached for a moment, the length of the traffic queue and how long ago each live aircraft
# in the simulator took its last record (its "last data" time against the present: the records are
# stamped when sent). Then it closes the window through its script and ends the doubles by their ids.
#
#   scripts/feed-load.sh PROGRAM_BUILD DOUBLES_BUILD RATE [SECONDS] [DIR]
#
# PROGRAM_BUILD holds the program and what the build lays out beside it (the targets Ambertrail_P3D,
# amb_server_folder, amb_airport_data, amb_ailib_folder); DOUBLES_BUILD the two doubles (amb_simdouble,
# trafficdouble); they may be one build. The gdb figures need a build with debugging information. The
# last line printed is the run's figures:
#   rate=… queue60=… queueEnd=… live60=… liveEnd=… rss60MB=… rssEndMB=… growthMB=… inSim=… oldest=…s exit=…
# Where the machine allows it, the run has a network namespace of its own (scripts/in-netns.sh), so
# that several runs and the tests never meet on the fixed ports.
# With AMBT_LOAD_PARK=1 the user's airport, JFK, is a park airport with what the build learned of its
# stands (the target amb_learned_jfk), so that static parking runs while the feed flows; the figures
# are then followed by one more line, of the static and live aircraft created and their first and last
# creation (seconds since the traffic reader's start), from the simulator double's trace (DIR/trace.csv):
#   creations: static=… staticFirst=…s staticLast=…s liveCreated=… liveFirst=…s liveLast=…s
set -euo pipefail
. "$(dirname "$0")/run-layout.sh"
own_network_namespace AMBT_LOAD_IN_NETNS "$0" "$@"
if [ $# -lt 3 ]; then
  sed -n '2,20p' "$0" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
doubles="$(cd "$2" && pwd)"
rate="$3"
seconds="${4:-200}"
dir="${5:-$build/feed-load-$rate}"
find_programs "$build" "$doubles"

# The generated aircraft circle up to 28 nm from JFK: all within the range.
lay_out_run "$dir" "$build"
park="${AMBT_LOAD_PARK:-0}"
if [ "$park" = 1 ]; then
  learned="$build/app/airports/learned/stock/KJFK.xml"
  [ -f "$learned" ] || { echo "Not built: $learned (the target amb_learned_jfk)" >&2; exit 1; }
  mkdir -p "$work/airports/learned/stock"
  cp "$learned" "$work/airports/learned/stock/"
fi

# The probe gdb runs in the stopped program.
cat > "$dir/probe.py" <<'PY'
import re, time
import gdb
now = time.time()
queue = gdb.parse_and_eval("amb::g_trafficQueue")
try:
    length = int(queue["m_live"])
except gdb.error:
    gdb.execute("set print elements 1")
    text = gdb.execute("print amb::g_trafficQueue", to_string=True)
    found = re.search(r"with (\d+) element", text)
    length = int(found.group(1)) if found else 0
acs = gdb.parse_and_eval("amb::g_liveAcs")["_M_impl"]
first, last = acs["_M_start"], acs["_M_finish"]
ages = []
for i in range(int(last - first)):
    ac = (first + i).dereference()
    if int(ac["state"]) == 2:  # in the simulator
        ages.append(now - float(ac["lastDataTime"]))
ages.sort()
oldest = ages[-1] if ages else 0.0
median = ages[len(ages) // 2] if ages else 0.0
print("PROBE queue=%d inSim=%d oldest=%.1f median=%.1f" % (length, len(ages), oldest, median))
PY

sim_pid=
program_pid=
traffic_pid=
trap 'stop_processes $traffic_pid $program_pid $sim_pid' EXIT

trace=
[ "$park" = 1 ] && trace="$dir/trace.csv"
sim_started=$(date +%s.%N)
start_sim_and_program "$dir" $trace
# RealTraffic connects to the program's command port as soon as it is open; the run's time counts
# from the traffic reader's start.
"$traffic" --professional --generate "$rate" > "$dir/traffic.out" 2>&1 &
traffic_pid=$!
for _ in $(seq 1 1200); do grep -q "Traffic Reader connected" "$work/Log.txt" 2>/dev/null && break; sleep 0.1; done
start=$(date +%s)
reader_started=$(date +%s.%N)

rss_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$program_pid/status"; }
live() { sed -n 's/^text 642 91 0x[0-9A-Fa-f]* "live: *\([0-9]*\)"$/\1/p' "$dir/window.dump" 2>/dev/null | tail -n 1; }
probe() { gdb -p "$program_pid" -batch -nx -ex "source $dir/probe.py" 2>/dev/null | sed -n 's/^PROBE //p'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
wait_until() { while [ $(($(date +%s) - start)) -lt "$1" ]; do kill -0 "$program_pid" || return 1; sleep 0.5; done; }

wait_until 60
rss60="$(rss_mb)"
live60="$(live)"
probe60="$(probe)"
echo "at 60 s: rss ${rss60} MB, live ${live60}, ${probe60}"
wait_until "$seconds"
rssEnd="$(rss_mb)"
liveEnd="$(live)"
probeEnd="$(probe)"
echo "at ${seconds} s: rss ${rssEnd} MB, live ${liveEnd}, ${probeEnd}"
kill "$traffic_pid" 2>/dev/null || true
timeout 30 sh -c "echo close > '$dir/window.script'" || true
code=none
for _ in $(seq 1 600); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if ! kill -0 "$program_pid" 2>/dev/null; then
  code=0
  wait "$program_pid" || code=$?
fi
program_pid=
echo "log lines: $(wc -l < "$work/Log.txt"), queue lines: $(grep -c 'Traffic queue full' "$work/Log.txt" || true)"
# The creations by kind (static ones carry a callsign ending in "*"), in seconds since the reader's start.
creations=
if [ "$park" = 1 ]; then
  creations="$(awk -F, -v off="$(awk -v a="$sim_started" -v b="$reader_started" 'BEGIN { print b - a }')" '
    $3 == "created" {
      n = split($11, p, "|"); kind = p[n] ~ /\*$/ ? "static" : "live"; t = $1 - off
      count[kind]++; if (!(kind in first)) first[kind] = t; last[kind] = t
    }
    END {
      printf " static=%d staticFirst=%.1fs staticLast=%.1fs liveCreated=%d liveFirst=%.1fs liveLast=%.1fs",
        count["static"], first["static"], last["static"], count["live"], first["live"], last["live"]
    }' "$trace")"
fi
printf 'rate=%s queue60=%s queueEnd=%s live60=%s liveEnd=%s rss60MB=%s rssEndMB=%s growthMB=%s inSim=%s oldest=%ss median=%ss exit=%s\n' \
  "$rate" "$(field queue "$probe60")" "$(field queue "$probeEnd")" "$live60" "$liveEnd" "$rss60" "$rssEnd" \
  "$(awk -v a="$rss60" -v b="$rssEnd" 'BEGIN { printf "%.1f", b - a }')" "$(field inSim "$probeEnd")" \
  "$(field oldest "$probeEnd")" "$(field median "$probeEnd")" "$code"
[ -z "$creations" ] || echo "creations:$creations"
