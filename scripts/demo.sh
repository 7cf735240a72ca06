#!/usr/bin/env bash
# The main job: runs the program headless in a working folder of its own against the simulator
# double. The double stands in for Prepar3D v5 with the user aircraft parked at JFK; the program
# finds it through "SimConnect.cfg" in its working folder, connects, registers, and shows the
# simulator lamp in lime with the simulator's name and the aircraft's title. Once the window shows
# that, the run closes it through the window's script; the double is then ended by its id.
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
program="$build/app/Ambertrail_P3D"
double="$build/tools/simdouble/amb_simdouble"
for exe in "$program" "$double"; do
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
mkdir -p "$work/docs" "$work/input" "$appdata" "$demo/runtime" "$demo/documents" "$demo/public" "$sim/Scenery"

cat > "$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]
"SetupPath"="$sim"
REG

title="Boeing 737-800 Paint1"
echo "== amb_simdouble: the user aircraft parked at JFK (40.6413, -73.7781)"
"$double" --tcp4 0 --port-file "$demo/double.ports" --packet-log "$demo/double.packets" \
  --trace "$demo/double.trace.csv" --svg "$demo/double.map.svg" \
  --set "user 40.6413 -73.7781 13 31" --set "ground-alt 13" --set "onground 1" \
  --set "title $title" --set "model B738" > "$demo/double.out" 2>&1 &
double_pid=$!
stop_double() {
  if kill -0 "$double_pid" 2>/dev/null; then
    kill "$double_pid"
    wait "$double_pid" || true
  fi
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
# Wait, bounded, until the window shows the simulator lamp in lime with the aircraft's title; keep
# that picture, then close the window through its script.
lamp_ok=0
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  if [ -f "$demo/window.dump" ] && grep -qx "$lime" "$demo/window.dump" && grep -qxF "$titled" "$demo/window.dump"; then
    lamp_ok=1
    cp "$demo/window.dump" "$demo/window.connected.dump"
    cp "$demo/window.dump.svg" "$demo/window.connected.svg" 2>/dev/null || true
    break
  fi
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
grep -E "version|detected|Waiting for|connected|User aircraft|Exiting|User closed|SimConnect closed" "$work/Log.txt" || true
echo
echo "== The simulator lamp and its texts in the window while connected"
grep -E '^fill 397 30 425 112 |^text 5 (35|63) ' "$demo/window.connected.dump" 2>/dev/null || true
if [ "$lamp_ok" = 1 ]; then
  echo "simulator lamp:  lime, with the aircraft's title"
else
  echo "simulator lamp:  NOT lime with the title" >&2
fi
echo
echo "exit code:       $status"
echo "log:             $work/Log.txt"
echo "settings:        $appdata/Ambertrail_P3D/parameters.xml"
echo "window dump:     $demo/window.dump"
echo "window picture:  $demo/window.connected.svg (connected), $demo/window.dump.svg (last)"
echo "double packets:  $demo/double.packets ($(wc -l < "$demo/double.packets") received)"
echo "double map:      $demo/double.map.svg"
[ "$lamp_ok" = 1 ] || exit 1
exit "$status"
