#!/usr/bin/env bash
# The main job: runs the program headless in a working folder of its own against the simulator
# double and the traffic double. The simulator double stands in for Prepar3D v5 with the user
# aircraft parked at JFK; the program finds it through "SimConnect.cfg" in its working folder,
# connects, registers, and shows the simulator lamp in lime with the simulator's name and the
# aircraft's title. The traffic double stands in for RealTraffic on this computer: it connects to
# the program's command port, replays the recorded JFK traffic and weather, and records every
# command it receives. The program creates the live aircraft in the simulator double and flies them
# along their reported tracks. Once the window has shown both lamps in lime, RealTraffic has had the
# simulator time and the traffic has flown for DEMO_MINUTES (default 6), the run closes the window
# through its script; the doubles are then ended by their ids. While the traffic flies, a progress
# line every 30 s tells the time, the aircraft live, created and removed so far, on the ground,
# landed and parked, and the window's message line. At the end the run prints how many aircraft were
# created, flew, landed and were removed, how many static aircraft were wanted, planned and parked
# (in the first two minutes and in all), removed for live aircraft, and stood on a stand together with
# a live aircraft for longer than a make-way takes, and leaves the double's
# trace, the window in three pictures (connected, with live traffic, at the end) and a map of the
# flown and reported tracks with the runways and the airport's ground movement, each as SVG and PNG.
# A program that ends early is reported with the last error of its log (and the port, when a port
# was taken), and the run ends non-zero, and so does a run of two minutes or more whose first two
# minutes park fewer than half of the wanted static aircraft. DEMO_DIR puts the run's folder elsewhere than the build's "demo".
# The run needs no network beyond the loopback: where the machine allows it, it runs in a network
# namespace of its own (scripts/in-netns.sh), so that its program, its doubles and their fixed ports
# never meet another run's (a second demo, a test, a real RealTraffic on this computer). Where the
# machine does not allow one, it shares the machine's network.
set -euo pipefail
if [ -z "${AMBT_DEMO_IN_NETNS:-}" ]; then
  in_netns="$(cd "$(dirname "$0")" && pwd)/in-netns.sh"
  if sh "$in_netns" true 2>/dev/null; then
    AMBT_DEMO_IN_NETNS=1 exec sh "$in_netns" bash "$0" "$@"
  fi
  echo "(no network namespace of its own on this machine: the run shares the machine's network)" >&2
fi
if [ -n "${AMBT_DEMO_IN_NETNS:-}" ]; then
  echo "== The run's network: a namespace of its own, only the loopback"
else
  echo "== The run's network: the machine's own"
fi
build="$(cd "${1:-build}" && pwd)"
minutes="${DEMO_MINUTES:-6}"
# "1 minute", "6 minutes".
if [ "$minutes" = 1 ]; then minutes_text="1 minute"; else minutes_text="$minutes minutes"; fi
program="$build/app/Ambertrail_P3D"
double="$build/tools/simdouble/amb_simdouble"
traffic="$build/tools/trafficdouble/trafficdouble"
tracemap="$build/tools/tracemap/amb_tracemap"
standpairs="$build/tools/standpairs/amb_standpairs"
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
recording="$source_dir/testdata/traffic/KJFK_20190305_2130Z.rttfc.gz"
weather="$source_dir/testdata/traffic/KJFK_20190305_2028Z_weather.json"
for exe in "$program" "$double" "$traffic" "$tracemap" "$standpairs"; do
  if [ ! -x "$exe" ]; then
    echo "Not built: $exe is missing." >&2
    exit 1
  fi
done
# The files the build lays out, each with the target that makes it.
for input in "server/dbase.zip amb_server_folder" "server/AIG-regcodes.zip amb_server_folder" \
  "input/airports_p3d.xml amb_airport_data" "server/P3D/archive/stock/KJFK.xml amb_airport_data" \
  "ailib/add-on.xml amb_ailib_folder" "my_regcodes/ambertrail.txt amb_ailib_folder"; do
  file="$build/app/${input%% *}"
  if [ ! -f "$file" ]; then
    echo "Not built: $file is missing (the target ${input##* } lays it out)." >&2
    exit 1
  fi
done

demo="${DEMO_DIR:-$build/demo}"
# The run before this one stays beside it (its pictures, log and trace); older runs go.
if [ -d "$demo" ]; then
  rm -rf "$demo.previous"
  mv "$demo" "$demo.previous"
fi
work="$demo/work"           # the program's own folder: it must hold "docs"
appdata="$demo/appdata"     # the user's application-data folder ("parameters.xml" goes below it)
sim="$demo/Prepar3D v5"     # where the registry says the simulator is installed
mkdir -p "$work/docs" "$work/input" "$appdata/InsideSystems" "$appdata/Ambertrail_P3D" "$demo/runtime" \
  "$demo/documents" "$demo/public" "$sim/Scenery"
# The airport list the build laid out: the user aircraft's airport, JFK, becomes the park airport,
# its stands read from the packaged server's archive.
cp "$build/app/input/airports_p3d.xml" "$work/input/"
# What the program learned of JFK's stands, as a user's file holds it after weeks there: the build
# taught the program's stand learning a week of aircraft turning round at every stand, flights of the
# recording's airlines and types of which none flies in the recording, so static parking finds
# aircraft at any weekday and hour and sets none aside as live.
learned="$build/app/airports/learned/stock/KJFK.xml"
if [ -f "$learned" ]; then
  mkdir -p "$work/airports/learned/stock"
  cp "$learned" "$work/airports/learned/stock/"
else
  echo "(no learned file of JFK: the target amb_learned_jfk makes it; without it no aircraft is parked statically)" >&2
fi
# RealTraffic is installed on this computer: the program opens its command port for it.
: > "$appdata/InsideSystems/RealTraffic.jar"
# The AI aircraft the build generated from the recording's airlines and types, installed as an add-on
# package, with the user's own registration codes for it (special liveries, titles not to use)
# beside the list the packaged server gives; and the whole recording's radius.
. "$source_dir/scripts/run-layout.sh"
install_ai_package "$appdata" "$work" "$build"
write_range_parameters "$appdata"

# The positions the recording reports within the 40 nm around the user while the run lasts, for the
# map: hexid, latitude, longitude.
zcat "$recording" | awk -F, -v seconds="$((minutes * 60 + 90))" '
  BEGIN { print "hexid,lat,lon" }
  NR == 1 { t0 = $15 }
  {
    dy = ($3 - 40.6413) * 60; dx = ($4 + 73.7781) * 60 * 0.7585
    if ($15 <= t0 + seconds && dx * dx + dy * dy <= 1600) print $2 "," $3 "," $4
  }' > "$demo/reported.csv"

cat > "$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]
"SetupPath"="$sim"
REG

# The simulator's scenery configuration lists one add-on folder holding the real BGL files, which the
# start-up's add-on airports scan reads.
mkdir -p "$demo/programdata/Lockheed Martin/Prepar3D v5" "$demo/scenery/Spain"
cp "$source_dir"/testdata/bgl/*.bgl "$demo/scenery/Spain/"
printf '[Area.001]\nTitle=Spain\nLocal=%s\nActive=TRUE\n' "$demo/scenery/Spain" \
  > "$demo/programdata/Lockheed Martin/Prepar3D v5/scenery.cfg"

# The simulator's ground: each airport of the program's list within 50 nm of the user (the radius
# and 10 nm) flat at its elevation within 3 nm of it, as the program's landings expect; the world
# elsewhere flat at the user's 13 ft. The list gives 0 ft to an airport it knows only by runways
# without elevations: such a field's ground is not known, and it is left out.
awk -F'"' '
  /<airport / {
    lat = ""; lon = ""; alt = ""; code = ""
    for (i = 1; i < NF; i++) {
      if ($i ~ /(^|[ \t])code=$/) code = $(i + 1)
      if ($i ~ /[ \t]lat=$/) lat = $(i + 1)
      if ($i ~ /[ \t]lon=$/) lon = $(i + 1)
      if ($i ~ /[ \t]alt=$/) alt = $(i + 1)
    }
    dy = (lat - 40.6413) * 60; dx = (lon + 73.7781) * 60 * 0.7585
    if (lat != "" && lon != "" && alt != "" && alt + 0 != 0 && dx * dx + dy * dy <= 2500)
      printf "# %s\nfield %s %s %s 3\n", code, lat, lon, alt
  }' "$work/input/airports_p3d.xml" > "$demo/double.fields"

title="Boeing 737-800 Paint1"
echo "== amb_simdouble: the user aircraft parked at JFK (40.6413, -73.7781), the fields of $(grep -c '^field' "$demo/double.fields") airports around"
# (No packet log: every position of every AI object is a packet.)
"$double" --tcp4 0 --port-file "$demo/double.ports" \
  --trace "$demo/double.trace.csv" \
  --set "user 40.6413 -73.7781 13 31" --set "ground-alt 13" --set "onground 1" \
  --script "$demo/double.fields" \
  --set "title $title" --set "model B738" --set "framerate 20" > "$demo/double.out" 2>&1 &
double_pid=$!
traffic_pid=
pid=
# On the way out, whatever ends the run: every process it started, by its id.
stop_double() {
  for p in $pid $traffic_pid $double_pid; do
    if kill -0 "$p" 2>/dev/null; then
      kill "$p"
      wait "$p" || true
    fi
  done
}
trap stop_double EXIT
for _ in $(seq 1 100); do
  [ -s "$demo/double.ports" ] && break
  sleep 0.1
done
port="$(sed -n 's/^tcp4 //p' "$demo/double.ports")"
if [ -z "$port" ]; then
  echo "The simulator double did not start:" >&2
  cat "$demo/double.out" >&2
  exit 1
fi
printf '[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=%s\n' "$port" > "$work/SimConnect.cfg"

# The window takes its script from a FIFO: the run closes it once the lamp has turned lime.
mkfifo "$demo/window.script"
lime='fill 397 30 425 112 0x32CD32'
titled="text 5 63 0x32CD32 \"$title\""
rt_lime='fill 425 30 453 112 0x32CD32'
weather_lime='text 458 63 0x32CD32 "Weather"'
traffic_lime='text 458 91 0x32CD32 "Traffic"'
qnh_lime='text 642 63 0x32CD32 "qnh: 1015"'

# The double's trace in figures: created, flew (100 positions or more), landed (on the ground after
# flying above 300 ft, or spoilers set on touchdown), removed, flight plans given, on the ground now;
# with a number, of the trace's first that many lines only.
trace_counts() {
  head -n "${1:-1000000000}" "$demo/double.trace.csv" 2>/dev/null | awk -F, '
    NR == 1 { next }
    $3 == "created" || $3 == "added" { created[$2] = 1 }
    $3 == "created" || $3 == "position" { ground[$2] = $10 }
    $3 == "position" { moves[$2]++; if ($6 > 300 && $10 == 0) high[$2] = 1; if (high[$2] && $10 == 1) landed[$2] = 1 }
    $3 == "event" && $11 ~ /^SPOILERS_SET=16383/ { landed[$2] = 1 }
    $3 == "flightplan" { plans[$2] = 1 }
    $3 == "removed" || $3 == "removed-by-sim" { removed[$2] = 1 }
    END {
      for (o in created) { n++; if (moves[o] >= 100) flew++; if (!(o in removed) && ground[o] == 1) down++ }
      for (o in landed) l++
      for (o in removed) gone++
      for (o in plans) planned++
      printf "%d %d %d %d %d %d\n", n, flew, l, gone, planned, down
    }' || echo "0 0 0 0 0 0"
}
# RealTraffic's record ("epoch seconds<TAB>command") in readable units: the time of day in UTC, the
# position command's fields in degrees, feet and knots, the simulator time as a UTC date.
readable_record() {
  python3 -c '
import datetime, math, sys
def utc(seconds, decimals=True):
    t = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
    return t.strftime("%H:%M:%S.%f")[:-3] if decimals else t.strftime("%Y-%m-%d %H:%M:%S UTC")
for line in sys.stdin:
    stamp, _, command = line.rstrip("\n").partition("\t")
    try:
        when = utc(float(stamp))
    except ValueError:
        print(line, end="")
        continue
    text = command
    try:
        if command.startswith("Qs121="):
            f = [float(v) for v in command[6:].split(";")]
            text = ("Qs121 position: %.4f, %.4f, heading %.1f deg, %.0f ft, %.0f kn, pitch %.1f deg, bank %.1f deg"
                    % (math.degrees(f[5]), math.degrees(f[6]), math.degrees(f[2]), f[3] / 1000, f[4] / 1000,
                       math.degrees(f[0] / 100000), math.degrees(f[1] / 100000)))
        elif command.startswith("Qs123="):
            text = "Qs123 simulator time: " + utc(int(command[6:]) / 1000, False)
    except (ValueError, IndexError, OverflowError):
        pass
    print("%s  %s" % (when, text))
'
}
# A text of the window dump by its place ("text X Y COLOUR "..."").
window_text() {
  sed -n "s/^text $1 $2 0x[0-9A-Fa-f]* \"\(.*\)\"\$/\1/p" "$demo/window.dump" 2>/dev/null | tail -n 1
}
window_live() { window_text 642 91 | sed -n 's/^live: *\([0-9]*\)$/\1/p'; }
# Keeps the window as it is now, as window.NAME.dump and .svg (once the picture is whole).
keep_window() {
  cp "$demo/window.dump" "$demo/window.$1.dump" 2>/dev/null || true
  if tail -c 16 "$demo/window.dump.svg" 2>/dev/null | grep -q '</svg>'; then
    cp "$demo/window.dump.svg" "$demo/window.$1.svg"
  fi
}
# The static parked aircraft in the double's trace (the program gives them callsigns ending in "*"):
# how many were created and how many of those removed; with a number, in its first that many lines.
static_counts() {
  head -n "${1:-1000000000}" "$demo/double.trace.csv" 2>/dev/null | awk -F, '
    $3 == "created" && $NF ~ /\*"?$/ { static[$2] = 1; created++ }
    ($3 == "removed" || $3 == "removed-by-sim") && ($2 in static) && !($2 in gone) { gone[$2] = 1; removed++ }
    END { printf "%d %d\n", created, removed }' || echo "0 0"
}
progress_line() {
  local counts parked static message wanted
  read -r created _ landed removed _ down <<<"$(trace_counts "${2:-}")"
  parked="$(sed -n 's/^text [0-9]* [0-9]* 0x[0-9A-Fa-f]* "parked live: *\([0-9]*\)"$/\1/p' "$demo/window.dump" 2>/dev/null | tail -n 1)"
  static="$(sed -n 's/^text [0-9]* [0-9]* 0x[0-9A-Fa-f]* "parked static: *\([0-9]*\)"$/\1/p' "$demo/window.dump" 2>/dev/null | tail -n 1)"
  # The window's wanted count of static aircraft and its share of the stands ("max park:  69 (=30 %)"),
  # kept for the summary: the exit empties it.
  wanted="$(sed -n 's/^text [0-9]* [0-9]* 0x[0-9A-Fa-f]* "max park: *\([0-9]*\) (=\([0-9]*\) %)"$/\1 \2/p' \
    "$demo/window.dump" 2>/dev/null | tail -n 1)"
  [ -z "$wanted" ] || static_wanted="$wanted"
  message="$(window_text 3 455)"
  printf '%s +%d:%02d  live %3s  created %3d  removed %3d  on the ground %2d  landed %2d%s%s  | %s\n' \
    "$(date -u +%H:%M:%S)" $(($1 / 60)) $(($1 % 60)) "$(window_live || true)" "$created" "$removed" "$down" "$landed" \
    "${parked:+  parked $parked}" "${static:+  static $static}" "${message:-(no message)}"
}

export AMBT_APPDATA="$appdata"
export AMBT_DOCUMENTS="$demo/documents"
export AMBT_PROGRAMDATA="$demo/programdata"
export AMBT_PUBLIC_DOCUMENTS="$demo/public"
export AMBT_REGISTRY="$demo/registry.reg"
export AMBT_RUNTIME_DIR="$demo/runtime"
export AMBT_UI_DUMP="$demo/window.dump"
export AMBT_UI_SCRIPT="$demo/window.script"

echo "== Ambertrail_P3D in $work, SimConnect over 127.0.0.1:$port"
(cd "$work" && exec "$program") &
pid=$!

echo "== trafficdouble: RealTraffic (professional edition) replaying $(basename "$recording")"
"$traffic" --professional --record "$demo/realtraffic.record" --traffic "$recording" --weather "$weather" \
  --weather-interval 2 > "$demo/trafficdouble.out" 2>&1 &
traffic_pid=$!
# Wait, bounded, until the window shows the simulator lamp in lime with the aircraft's title and the
# RealTraffic lamp in lime with "Traffic", "Weather" and the QNH; keep that picture. Then wait, bounded, for
# the simulator time that goes to RealTraffic every 15 s, and close the window through its script.
echo "== Waiting for the program to connect to both doubles and for the first traffic and weather (up to a minute)"
waited=$(date +%s)
lamp_ok=0
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  if [ -f "$demo/window.dump" ] && grep -qx "$lime" "$demo/window.dump" && grep -qxF "$titled" "$demo/window.dump" &&
    grep -qx "$rt_lime" "$demo/window.dump" && grep -qxF "$weather_lime" "$demo/window.dump" &&
    grep -qxF "$traffic_lime" "$demo/window.dump" && grep -qxF "$qnh_lime" "$demo/window.dump"; then
    lamp_ok=1
    cp "$demo/window.dump" "$demo/window.connected.dump"
    cp "$demo/window.dump.svg" "$demo/window.connected.svg" 2>/dev/null || true
    break
  fi
  sleep 0.1
done
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  grep -q 'Qs123=' "$demo/realtraffic.record" 2>/dev/null && break
  sleep 0.1
done
[ "$lamp_ok" = 0 ] || echo "   connected, traffic and weather flowing, after $(($(date +%s) - waited)) s"
# Let the traffic fly, with a line of progress every 30 s. The window with live traffic is kept from
# about the middle of the run: the last picture with "live:" above zero up to then, else the first after.
echo "== The live traffic flies for $minutes_text (a line every 30 s: time, aircraft, the window's message line)"
start=$(date +%s)
trace_at_two=
static_wanted=
half=$((minutes * 30))
next=30
while :; do
  kill -0 "$pid" 2>/dev/null || break
  elapsed=$(($(date +%s) - start))
  # The trace up to +2:00 shows what static parking achieved in the first two minutes (taken before
  # the end of a run of just two minutes too).
  if [ -z "$trace_at_two" ] && [ "$elapsed" -ge 120 ]; then trace_at_two=$(wc -l < "$demo/double.trace.csv"); fi
  [ "$elapsed" -ge $((minutes * 60)) ] && break
  if [ "$elapsed" -ge "$next" ]; then
    next=$((next + 30))
    progress_line "$elapsed"
    live="$(window_live)"
    if [ "${live:-0}" -gt 0 ] && { [ ! -f "$demo/window.live.svg" ] || [ "$elapsed" -le "$half" ]; }; then
      keep_window live
    fi
  fi
  sleep 0.5
done
ended_early=1
if kill -0 "$pid" 2>/dev/null; then
  ended_early=0
  # The trace up to here shows the aircraft as they stand before the exit removes them all; the last
  # progress line counts up to here too.
  trace_before_close=$(wc -l < "$demo/double.trace.csv")
  progress_line "$(($(date +%s) - start))" "$trace_before_close"
  timeout 30 sh -c "echo close > '$demo/window.script'" || true
fi
# A run that outlives a minute more is ended by its id.
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "The program did not end; stopping it." >&2
  kill "$pid"
fi
status=0
wait "$pid" || status=$?
pid=
stop_double
trap - EXIT

echo
echo "== What the log says"
grep -E "version|detected|Waiting for|connected|User aircraft|Airport file read|num_parkpos|Exiting|User closed|SimConnect closed|RealTraffic" \
  "$work/Log.txt" || true
echo
echo "== The liveries: the scan of the installed AI package, and the matching of the live aircraft"
grep -E "liveries found in|liveries in output|liveries read from|don't use title|registration codes|special liveries" \
  "$work/Log.txt" || true
# The steps of the matching ladder (1 airline and type ... 6 last resort), and the aircraft that found
# no livery at all (their airline and type, once each).
awk '/^Matches at step:/ { on = 1; printf "aircraft with a livery, by matching step:"; next }
     on && /^  [0-9]: / { printf " %s", $0; next }
     on { on = 0; print "" }' "$work/Log.txt" | sed 's/  */ /g'
echo "airline/type pairs without a livery: $(awk '/^No match found for:/ { on = 1; next } on && NF == 0 { on = 0 } on' \
  "$work/Log.txt" | wc -l)"
echo
echo "== The add-on airports scan (AirportsScanLog.txt, then the files it made)"
cat "$work/AirportsScanLog.txt" 2>/dev/null || true
# The simulator keeps two lists of add-on scenery, and the log counts the folders of each in turn.
awk '/scenery\.cfg for airport add-ons/ { list = "scenery.cfg" }
     /scenery_add-ons\.xml for add-on airport/ { list = "scenery_add-ons.xml" }
     /scenery add-on paths found/ { printf "%-38s (the list in %s)\n", $0, list; next }
     /Airports scan successful|not found any add-on/' "$work/Log.txt" 2>/dev/null || true
echo "airport files made: $(find "$work/airports/my_ORBX" "$work/airports/my_thirdparty" -name '*.xml' 2>/dev/null | wc -l)" \
  "generated, $(find "$work/airports/my_ORBX" "$work/airports/my_thirdparty" -name '*.txt' 2>/dev/null | wc -l) linked"
echo
echo "== The lamps and their texts in the window while connected"
grep -E '^fill (397|425) 30 (425|453) 112 |^text (5|458) (35|63|91) |^text 642 63 ' "$demo/window.connected.dump" \
  2>/dev/null || true
svg_ok=0
if [ -f "$demo/window.connected.svg" ] &&
  grep -qF '<rect x="425" y="30" width="28" height="82" fill="#32CD32"/>' "$demo/window.connected.svg" &&
  grep -qF 'fill="#32CD32">Traffic</text>' "$demo/window.connected.svg" &&
  grep -qF 'fill="#32CD32">Weather</text>' "$demo/window.connected.svg"; then
  svg_ok=1
fi
if [ "$lamp_ok" = 1 ] && [ "$svg_ok" = 1 ]; then
  echo "lamps:           both lime, with the aircraft's title, \"Traffic\", \"Weather\" and the QNH (also in the SVG)"
else
  echo "lamps:           NOT both lime with the title, \"Traffic\", \"Weather\" and the QNH" >&2
fi
echo
echo "== What RealTraffic received over the command link (UTC time, command)"
if [ -f "$demo/realtraffic.record" ]; then
  awk -F'\t' '$2 !~ /^Qs12[13]=/ || ++n[substr($2, 1, 5)] <= 3' "$demo/realtraffic.record" | readable_record
  echo "($(grep -c 'Qs121=' "$demo/realtraffic.record") position and $(grep -c 'Qs123=' "$demo/realtraffic.record") time commands in all)"
fi
tail -n 1 "$demo/trafficdouble.out" 2>/dev/null || true
echo
echo "== What the simulator double saw of the live aircraft"
read -r created flew landed removed planned _ <<<"$(trace_counts)"
read -r static_all static_gone <<<"$(static_counts "${trace_before_close:-}")"
echo "aircraft created:     $created ($static_all of them static aircraft, below)"
echo "aircraft that flew:   $flew (100 positions or more)"
echo "aircraft that landed: $landed (on the ground after flying above 300 ft)"
if [ -n "${trace_before_close:-}" ]; then
  # The last progress line counted the removals while the traffic flew; the exit removes the rest.
  read -r _ _ _ removed_flying _ <<<"$(trace_counts "$trace_before_close")"
  echo "aircraft removed:     $removed ($removed_flying while the traffic flew, as the last progress line says," \
    "and $((removed - removed_flying)) at the exit, which removes every aircraft)"
else
  echo "aircraft removed:     $removed"
fi
echo "flight plans given:   $planned"
# Of all aircraft standing still before the exit, the share within 5 m of a stand of the loaded
# airport file.
if [ -n "${trace_before_close:-}" ] && [ -f "$work/airports/park_airport.xml" ]; then
  head -n "$trace_before_close" "$demo/double.trace.csv" | python3 -c '
import math, re, sys
stands = [(float(a), float(b)) for a, b in re.findall(r"latitude=\"([-0-9.]+)\" longitude=\"([-0-9.]+)\"", open(sys.argv[1]).read())]
last, prev = {}, {}
for line in sys.stdin:
    f = line.rstrip("\n").split(",")
    if len(f) < 10 or f[2] not in ("created", "added", "position", "removed", "removed-by-sim"):
        continue
    if f[2].startswith("removed"):
        last.pop(f[1], None)
        continue
    prev[f[1]] = last.get(f[1])
    last[f[1]] = (float(f[3]), float(f[4]), f[9] == "1")
def metres(a, b):
    dy = (a[0] - b[0]) * 111195.0
    dx = (a[1] - b[1]) * 111195.0 * math.cos(math.radians(a[0]))
    return math.hypot(dx, dy)
still = [p for o, p in last.items() if p[2] and (prev.get(o) is None or metres(p, prev[o]) < 0.5)]
near = sum(1 for p in still if stands and min(metres(p, s) for s in stands) <= 5.0)
print("standing still before the exit: %d aircraft, %d of them within 5 m of a stand" % (len(still), near))
' "$work/airports/park_airport.xml" || true
fi
echo
# Static parking: the program parks aircraft from what it learned of JFK (the learned file the build
# made) at free stands, and removes one when a live aircraft comes to its stand or too close to it, or
# when its real aircraft turns up live.
echo "== Static parking: aircraft of the learned file at free stands"
stand_count="$(sed -n 's/^ *num_parkpos *: *\([0-9]*\)$/\1/p' "$work/Log.txt" 2>/dev/null | tail -n 1)"
read -r wanted_count wanted_percent <<<"${static_wanted:-}" || true
if [ -n "${wanted_count:-}" ]; then
  echo "wanted:   $wanted_count (${wanted_percent} % of ${stand_count:-the} stands)"
else
  echo "wanted:   (not read from the window: no park airport loaded, or its \"max park:\" line changed)"
fi
# The plan at the start ("69 positions (30% vs wanted 30%, ...)"), and what renewals added.
planned_first="$(grep -m 1 -E '^[0-9]+ positions \(|^no parking positions found' "$work/Log.txt" 2>/dev/null |
  sed -n 's/^\([0-9]*\) positions (.*/\1/p; s/^no parking positions found.*/0/p' || true)"
renewed="$(sed -n 's/^Parking adjustments: [0-9]* to be removed, \([0-9]*\) to be added.*/\1/p' "$work/Log.txt" 2>/dev/null |
  awk '{ n += $1 } END { print n + 0 }')"
echo "planned:  ${planned_first:-?} at the start$([ "${renewed:-0}" = 0 ] || echo ", $renewed more by renewals")"
if [ -n "$trace_at_two" ]; then
  read -r static_two static_gone_two <<<"$(static_counts "$trace_at_two")"
  echo "parked:   $static_two in the first two minutes ($((static_two - static_gone_two)) of them still there at +2:00)," \
    "$static_all in all ($((static_all - static_gone)) still there before the exit)"
else
  static_two=
  echo "parked:   $static_all in the run's $minutes_text ($((static_all - static_gone)) still there before the exit)"
fi
# ("queued STAND: ..." when it was still waiting to be created)
queued_way="$(grep -cE '^queued .* makes way for' "$work/Log.txt" 2>/dev/null || true)"
made_way=$(($(grep -c ' makes way for' "$work/Log.txt" 2>/dev/null || true) - ${queued_way:-0}))
collision="$(grep -c 'removed for collision avoidance with live' "$work/Log.txt" 2>/dev/null || true)"
real_live="$(grep -cE 'removed, new (on ground|airborne) .* has (same regcode|same callsign|coupled callsign)' \
  "$work/Log.txt" 2>/dev/null || true)"
# Every removal of a parked static aircraft while the traffic flew, by the log line that names its
# reason; a rule that logs none (the limit of aircraft at stands, live and static together, which is
# the wanted count: the static one parked last gives way to a live one) makes up the rest.
silent=$((static_gone - ${made_way:-0} - ${collision:-0} - ${real_live:-0}))
[ "$silent" -ge 0 ] || silent=0
echo "removed:  $static_gone while the traffic flew: ${made_way:-0} made way for a live aircraft at their stand," \
  "${collision:-0} were too close to a taxiing live one, ${real_live:-0} went when their real aircraft turned up live," \
  "$silent by a rule that logs no line (such as the limit of aircraft at stands, live and static together);" \
  "${queued_way:-0} more gave way to a live aircraft before they were created"
echo "          (the removals for live aircraft, from the log:)"
grep -E ' makes way for|removed for collision avoidance with live|removed, new (on ground|airborne) .* has ' \
  "$work/Log.txt" 2>/dev/null | sed 's/^/          /' || true
# Two aircraft on one stand: a static aircraft on its stand while a live aircraft on the ground stands
# within the stand's radius, for longer than a make-way takes (5 s), up to the exit (which removes
# them all).
pairs_count=
if [ -n "${trace_before_close:-}" ] && [ -f "$work/airports/park_airport.xml" ]; then
  pairs_out="$("$standpairs" --trace "$demo/double.trace.csv" --stands "$work/airports/park_airport.xml" \
    --longer-than 5 --lines "$trace_before_close" 2>&1 || true)"
  pairs_count="$(sed -n 's/^pairs: \([0-9]*\)$/\1/p' <<<"$pairs_out")"
  [ -n "$pairs_count" ] || echo "(the stand pairs were not counted: $pairs_out)" >&2
fi
echo "together: ${pairs_count:-?} static aircraft stood on their stand for more than 5 s while a live aircraft" \
  "on the ground stood within the stand's radius"
[ "${pairs_count:-0}" = 0 ] || grep -v '^pairs: ' <<<"$pairs_out" | sed 's/^/          /'
# The pictures: the map of the run, and every SVG again as PNG.
# The stands: those of the park airport file the program loaded, else JFK's parking positions of the
# ground network in the test data.
stands="$source_dir/testdata/airports/KJFK.parking.xml"
for f in "$work/airports/park_airport.xml" "$work/airports/my_thirdparty/KJFK.xml" "$work/airports/my_ORBX/KJFK.xml"; do
  if [ -f "$f" ]; then
    stands="$f"
    break
  fi
done
map_ok=0
if "$tracemap" --trace "$demo/double.trace.csv" --reported "$demo/reported.csv" \
  --runways "$source_dir/testdata/reference/ourairports-runways.csv.gz" --stands "$stands" \
  --inset 40.6413,-73.7781,1.6 \
  --title "JFK, $minutes_text of recorded traffic" --out "$demo/map.svg"; then
  map_ok=1
fi
cp "$demo/window.dump.svg" "$demo/window.final.svg" 2>/dev/null || true
pngs=()
if command -v rsvg-convert >/dev/null; then
  for svg in "$demo"/window.connected.svg "$demo"/window.live.svg "$demo"/window.final.svg "$demo"/map.svg; do
    [ -f "$svg" ] && rsvg-convert -o "${svg%.svg}.png" "$svg" && pngs+=("${svg%.svg}.png")
  done
fi
echo
echo "exit code:       $status"
echo "log:             $work/Log.txt"
echo "settings:        $appdata/Ambertrail_P3D/parameters.xml"
echo "window dump:     $demo/window.dump"
echo "window pictures: $demo/window.{connected,live,final}.svg and .png (connected, with live traffic, at the end)"
[ -f "$demo/window.live.svg" ] || echo "                 (no picture with live traffic: no aircraft was live at a progress line)" >&2
echo "double trace:    $demo/double.trace.csv"
if [ "$map_ok" = 1 ]; then
  echo "map:             $demo/map.svg and .png ($(du -k "$demo/map.svg" | cut -f1) kB: runways, flown tracks by phase, the reported ones dashed, JFK inset)"
  echo "                 stands from $stands"
fi
[ ${#pngs[@]} -gt 0 ] || echo "(no PNG: rsvg-convert is missing; make setup installs it)" >&2
echo "RealTraffic:     $demo/realtraffic.record"

# A program that ended before the run closed it (or ended badly) failed: say why, from its log.
if [ "$ended_early" = 1 ] || [ "$status" != 0 ]; then
  echo
  if [ "$ended_early" = 1 ]; then
    echo "FAILED: Ambertrail_P3D ended by itself before the run closed it (exit code $status)." >&2
  else
    echo "FAILED: Ambertrail_P3D ended with exit code $status." >&2
  fi
  # The last error before the exit line ("Exiting: SYSTEM ERROR" only says that there was one).
  error="$(grep -iE 'error|failed|exception|cannot|could not' "$work/Log.txt" 2>/dev/null | grep -v '^Exiting:' |
    tail -n 1 || true)"
  [ -n "$error" ] && echo "last error in the log: $error" >&2
  grep -h '^Exiting:' "$work/Log.txt" 2>/dev/null | tail -n 1 >&2 || true
  # A port the program could not have: named by the log, else found by trying the program's ports now
  # that it has ended (whoever still holds one is another program).
  taken="$(grep -oE '[Bb]ind failed at port [0-9]+' "$work/Log.txt" 2>/dev/null | grep -oE '[0-9]+$' | tail -n 1 || true)"
  if [ -z "$taken" ] && grep -qiE 'bind' "$work/Log.txt" 2>/dev/null; then
    taken="$(python3 - <<'PY' 2>/dev/null || true
import socket
for kind, port in ((socket.SOCK_STREAM, 10747), (socket.SOCK_DGRAM, 49005), (socket.SOCK_DGRAM, 49004)):
    s = socket.socket(socket.AF_INET, kind)
    if kind == socket.SOCK_STREAM:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        s.bind(("0.0.0.0", port))
    except OSError:
        print(port)
        break
    finally:
        s.close()
PY
)"
  fi
  [ -n "$taken" ] && echo "port $taken is taken by another program: end it (or wait until it ends) and run again." >&2
  [ "$status" != 0 ] && exit "$status"
  exit 1
fi
# The run's own checks: each one that fails is named, and the run ends non-zero.
failed=0
fail() {
  echo "FAILED: $1" >&2
  failed=1
}
[ "$lamp_ok" = 1 ] && [ "$svg_ok" = 1 ] || fail "the lamps were not both lime with their texts"
grep -q $'\tQs999=version$' "$demo/realtraffic.record" 2>/dev/null || fail "RealTraffic was not asked for its version"
grep -q $'\texit$' "$demo/realtraffic.record" 2>/dev/null || fail "RealTraffic was not told of the program's exit"
# (A run of 0 minutes closes the window before any traffic could fly.)
[ "$minutes" = 0 ] || [ "${created:-0}" -gt 0 ] || fail "no aircraft was created in the simulator double"
[ "$map_ok" = 1 ] || fail "no map was drawn"
# With JFK's learned file, the first two minutes park at least half of the wanted static aircraft
# (a window whose wanted count no longer reads fails rather than passing unchecked).
if [ -f "$learned" ] && [ -n "$static_two" ]; then
  if [ -z "${wanted_count:-}" ]; then
    fail "the window's wanted count of static aircraft (\"max park: N (=P %)\") was not read"
  elif [ "$wanted_count" -gt 0 ] && [ $((static_two * 2)) -lt "$wanted_count" ]; then
    fail "$static_two static aircraft parked in the first two minutes, fewer than half of the $wanted_count wanted"
  fi
fi
[ -n "${planned_first:-}" ] || [ "${static_all:-0}" = 0 ] ||
  fail "static aircraft were parked, but the log's plan line (\"N positions (...)\") was not read"
# The count of static and live aircraft together on one stand must read; the count itself depends on
# the hour of the week the run happens at and on real-time interleavings, so it is shown, not judged
# (the engine's replay of the whole recording in virtual time holds it at 0).
[ "${static_all:-0}" = 0 ] || [ -z "${trace_before_close:-}" ] || [ -n "${pairs_count:-}" ] ||
  fail "static aircraft were parked, but their count on stands together with live aircraft was not read"
exit "$failed"
