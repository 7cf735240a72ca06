#!/usr/bin/env bash
# The main job: runs the program headless in a working folder of its own. Until the simulator double
# is wired in, the program starts, reads its settings and reference data, finds the simulator's
# install path in the registry file, and then waits for the simulator, as it does on a PC where
# Prepar3D is not running yet. A window script waits for that and closes the window, so the run ends
# by itself.
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
program="$build/app/Ambertrail_P3D"
if [ ! -x "$program" ]; then
  echo "The program is not built: $program is missing." >&2
  exit 1
fi

demo="$build/demo"
rm -rf "$demo"
work="$demo/work"           # the program's own folder: it must hold "docs"
appdata="$demo/appdata"     # the user's application-data folder ("parameters.xml" goes below it)
sim="$demo/Prepar3D v5"     # where the registry says the simulator is installed
mkdir -p "$work/docs" "$work/input" "$appdata" "$demo/runtime" "$sim/Scenery"

cat > "$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]
"SetupPath"="$sim"
REG

cat > "$demo/window.script" <<'SCRIPT'
# Wait until the program waits for the simulator, then close its window.
waitlog Waiting for Prepar3Dv
sleep 500
close
SCRIPT

export AMBT_APPDATA="$appdata"
export AMBT_REGISTRY="$demo/registry.reg"
export AMBT_RUNTIME_DIR="$demo/runtime"
export AMBT_UI_DUMP="$demo/window.dump"
export AMBT_UI_SCRIPT="$demo/window.script"

echo "== Ambertrail_P3D in $work"
(cd "$work" && exec "$program") &
pid=$!
# The script closes the window within a minute; a run that outlives two is ended by its id.
for _ in $(seq 1 1200); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "The program did not end; stopping it." >&2
  kill "$pid"
fi
status=0
wait "$pid" || status=$?

echo
echo "== What the log says"
grep -E "version|detected|Waiting for|Exiting|User closed" "$work/Log.txt" || true
echo
echo "exit code:       $status"
echo "log:             $work/Log.txt"
echo "settings:        $appdata/Ambertrail_P3D/parameters.xml"
echo "window dump:     $demo/window.dump"
echo "window picture:  $demo/window.dump.svg"
exit "$status"
