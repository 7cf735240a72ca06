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
# through its script; the doubles are then ended by their ids. At the end the run prints how many
# aircraft were created, flew, landed and were removed, and leaves the double's trace and an SVG map
# of the reported tracks beside the flown ones.
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
minutes="${DEMO_MINUTES:-6}"
program="$build/app/Ambertrail_P3D"
double="$build/tools/simdouble/amb_simdouble"
traffic="$build/tools/trafficdouble/trafficdouble"
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
recording="$source_dir/testdata/traffic/KJFK_20190305_2130Z.rttfc.gz"
weather="$source_dir/testdata/traffic/KJFK_20190305_2028Z_weather.json"
for exe in "$program" "$double" "$traffic"; do
  if [ ! -x "$exe" ]; then
    echo "Not built: $exe is missing." >&2
    exit 1
  fi
done

demo="$build/demo"
rm -rf "$demo"
work="$demo/work"           # the program's own folder: it must hold "docs"
appdata="$demo/appdata"     # the user's application-data folder ("parameters.xml" goes below it)
sim="$demo/Prepar3D v5"     # where the registry says the simulator is installed
mkdir -p "$work/docs" "$work/input" "$appdata/InsideSystems" "$appdata/Ambertrail_P3D" "$demo/runtime" \
  "$demo/documents" "$demo/public" "$sim/Scenery"
# RealTraffic is installed on this computer: the program opens its command port for it.
: > "$appdata/InsideSystems/RealTraffic.jar"
# The AI aircraft the build generated from the recording's airlines and types, installed as an add-on
# package: the program's automatic livery scan finds it at its first start.
mkdir -p "$appdata/Lockheed Martin/Prepar3D v5"
printf '[Package.0]\nPATH=%s\nTITLE=Ambertrail AI\nACTIVE=true\n' "$build/app/ailib" \
  > "$appdata/Lockheed Martin/Prepar3D v5/add-ons.cfg"
# The whole recording's radius: the automatic range would shrink it to 10 nm around a parked user.
cat > "$appdata/Ambertrail_P3D/parameters.xml" <<'XML'
<?xml version="1.0"?>
<parameters>
	<parameter name="AUTO_RANGE" value="false" />
	<parameter name="LATERAL_RANGE" value="40" />
</parameters>
XML

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

title="Boeing 737-800 Paint1"
echo "== amb_simdouble: the user aircraft parked at JFK (40.6413, -73.7781)"
# (No packet log: every position of every AI object is a packet.)
"$double" --tcp4 0 --port-file "$demo/double.ports" \
  --trace "$demo/double.trace.csv" --svg "$demo/double.map.svg" --reported "$demo/reported.csv" \
  --set "user 40.6413 -73.7781 13 31" --set "ground-alt 13" --set "onground 1" \
  --set "title $title" --set "model B738" --set "framerate 20" > "$demo/double.out" 2>&1 &
double_pid=$!
traffic_pid=
stop_double() {
  for p in $traffic_pid $double_pid; do
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

export AMBT_APPDATA="$appdata"
export AMBT_DOCUMENTS="$demo/documents"
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
# Let the traffic fly.
echo "== The live traffic flies for $minutes minutes"
for _ in $(seq 1 $((minutes * 600))); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
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
stop_double
trap - EXIT

echo
echo "== What the log says"
grep -E "version|detected|Waiting for|connected|User aircraft|Exiting|User closed|SimConnect closed|RealTraffic" \
  "$work/Log.txt" || true
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
echo "== What RealTraffic received over the command link (time, command)"
if [ -f "$demo/realtraffic.record" ]; then
  awk -F'\t' '$2 !~ /^Qs12[13]=/ || ++n[substr($2, 1, 5)] <= 3' "$demo/realtraffic.record"
  echo "($(grep -c 'Qs121=' "$demo/realtraffic.record") position and $(grep -c 'Qs123=' "$demo/realtraffic.record") time commands in all)"
fi
tail -n 1 "$demo/trafficdouble.out" 2>/dev/null || true
echo
echo "== What the simulator double saw of the live aircraft"
awk -F, '
  NR == 1 { next }
  $3 == "created" { created[$2] = 1 }
  $3 == "position" { moves[$2]++; if ($6 > 300) high[$2] = 1; if (high[$2] && $6 < 100) low[$2] = 1 }
  $3 == "event" && $11 ~ /^SPOILERS_SET=16383/ { touchdown[$2] = 1 }
  $3 == "flightplan" { plans[$2] = 1 }
  $3 == "removed" { removed[$2] = 1 }
  END {
    for (o in created) { n++; if (moves[o] >= 100) flew++ }
    for (o in low) landed++
    for (o in touchdown) if (!(o in low)) landed++
    for (o in removed) gone++
    for (o in plans) planned++
    printf "aircraft created:     %d\n", n
    printf "aircraft that flew:   %d (100 positions or more)\n", flew
    printf "aircraft that landed: %d (down to the runway from above 300 ft)\n", landed
    printf "aircraft removed:     %d\n", gone
    printf "flight plans given:   %d\n", planned
  }' "$demo/double.trace.csv"
echo
echo "exit code:       $status"
echo "log:             $work/Log.txt"
echo "settings:        $appdata/Ambertrail_P3D/parameters.xml"
echo "window dump:     $demo/window.dump"
echo "window picture:  $demo/window.connected.svg (connected), $demo/window.dump.svg (last)"
echo "double trace:    $demo/double.trace.csv"
echo "map:             $demo/double.map.svg (flown tracks; the reported ones dashed)"
echo "RealTraffic:     $demo/realtraffic.record"
[ "$lamp_ok" = 1 ] && [ "$svg_ok" = 1 ] || exit 1
grep -q $'\tQs999=version$' "$demo/realtraffic.record" && grep -q $'\texit$' "$demo/realtraffic.record" || exit 1
exit "$status"
