# Sourced by the scripts that run the program headless against the doubles: a run's folders laid out
# as a user's computer has them.

# The build's AI aircraft (BUILD/app/ailib) installed as an add-on package, which the program's
# automatic livery scan finds at its first start, and the user's own registration codes for it.
#   install_ai_package APPDATA WORK BUILD
install_ai_package() {
  mkdir -p "$1/Lockheed Martin/Prepar3D v5" "$2/input/my_regcodes"
  printf '[Package.0]\nPATH=%s\nTITLE=Ambertrail AI\nACTIVE=true\n' "$3/app/ailib" \
    > "$1/Lockheed Martin/Prepar3D v5/add-ons.cfg"
  cp "$3/app/my_regcodes/"*.txt "$2/input/my_regcodes/"
}

# The settings of a run over the whole 40 nm around the user: the automatic range would shrink it to
# 10 nm around a parked user.
#   write_range_parameters APPDATA
write_range_parameters() {
  cat > "$1/Ambertrail_P3D/parameters.xml" <<'XML'
<?xml version="1.0"?>
<parameters>
	<parameter name="AUTO_RANGE" value="false" />
	<parameter name="LATERAL_RANGE" value="40" />
</parameters>
XML
}

# A fresh run folder DIR for the program of BUILD: the program's own folder ($work, with the airport
# list the build laid out), the application-data folder ($appdata, RealTraffic installed, the AI
# package, the settings above), the simulator's folder ($sim) and the registry file naming it, and
# the shell folders.
#   lay_out_run DIR BUILD
lay_out_run() {
  rm -rf "$1"
  work="$1/work"
  appdata="$1/appdata"
  sim="$1/Prepar3D v5"
  mkdir -p "$work/docs" "$work/input" "$appdata/InsideSystems" "$appdata/Ambertrail_P3D" "$1/runtime" \
    "$1/documents" "$1/public" "$1/programdata" "$sim/Scenery"
  cp "$2/app/input/airports_p3d.xml" "$work/input/"
  : > "$appdata/InsideSystems/RealTraffic.jar"
  install_ai_package "$appdata" "$work" "$2"
  write_range_parameters "$appdata"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"SetupPath"="%s"\n' \
    "$sim" > "$1/registry.reg"
}

# Runs the calling script SCRIPT again, with its arguments, in a network namespace of its own where
# the machine allows it (scripts/in-netns.sh; the variable MARK, set there, tells the second run), so
# that its program, its doubles and their fixed ports never meet another run's.
#   own_network_namespace MARK SCRIPT ARGS...
own_network_namespace() {
  local mark="$1" script="$2" in_netns
  shift 2
  [ -z "${!mark:-}" ] || return 0
  in_netns="$(cd "$(dirname "$script")" && pwd)/in-netns.sh"
  if sh "$in_netns" true 2>/dev/null; then
    export "$mark=1"
    exec sh "$in_netns" bash "$script" "$@"
  fi
  echo "(no network namespace of its own: the run shares the machine's network)" >&2
}

# The program of the build BUILD and the two doubles of DOUBLES ($program, $simdouble, $traffic);
# the run ends when one is not built.
#   find_programs BUILD DOUBLES
find_programs() {
  program="$1/app/Ambertrail_P3D"
  simdouble="$2/tools/simdouble/amb_simdouble"
  traffic="$2/tools/trafficdouble/trafficdouble"
  for exe in "$program" "$simdouble" "$traffic"; do
    [ -x "$exe" ] || { echo "Not built: $exe" >&2; exit 1; }
  done
}

# Starts the simulator double (the user aircraft parked at JFK, 13 ft) on a free port, writes the
# program's "SimConnect.cfg" for it, and starts the program headless in $work, with DIR's shell
# folders and its window's script FIFO and dump; $sim_pid and $program_pid are theirs. With TRACE the
# double writes its trace there.
#   start_sim_and_program DIR [TRACE]
start_sim_and_program() {
  "$simdouble" --tcp4 0 --port-file "$1/sim.ports" ${2:+--trace "$2"} --set "user 40.6413 -73.7781 13 31" --set "ground-alt 13" \
    --set "onground 1" --set "title Boeing 737-800 Paint1" --set "model B738" --set "framerate 20" \
    > "$1/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 100); do [ -s "$1/sim.ports" ] && break; sleep 0.1; done
  local port
  port="$(sed -n 's/^tcp4 //p' "$1/sim.ports")"
  [ -n "$port" ] || { echo "The simulator double did not start" >&2; exit 1; }
  printf '[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=%s\n' "$port" > "$work/SimConnect.cfg"
  mkfifo "$1/window.script"
  export AMBT_APPDATA="$appdata" AMBT_DOCUMENTS="$1/documents" AMBT_PROGRAMDATA="$1/programdata"
  export AMBT_PUBLIC_DOCUMENTS="$1/public" AMBT_REGISTRY="$1/registry.reg" AMBT_RUNTIME_DIR="$1/runtime"
  export AMBT_UI_DUMP="$1/window.dump" AMBT_UI_SCRIPT="$1/window.script"
  (cd "$work" && exec "$program") > "$1/program.out" 2>&1 &
  program_pid=$!
}

# Ends the processes of the given ids that still run, and waits for each.
#   stop_processes PID...
stop_processes() {
  local p
  for p in "$@"; do
    if kill -0 "$p" 2>/dev/null; then
      kill "$p" 2>/dev/null || true
      wait "$p" 2>/dev/null || true
    fi
  done
}
