#!/usr/bin/env bash
# Smoke test of the Windows program under Wine, on the virtual display that scripts/test-windows.sh
# starts (it also starts the Wine server and sets WINEPREFIX, DISPLAY and AMBT_WINE_DISPLAY).
#
#   scripts/smoke-windows.sh BUILD_DIR
#
# The program runs from a folder of its own in BUILD_DIR/smoke, as a user starts it; every wait is
# bounded and polls files, windows and ports; every process started here is ended by its id. The
# screenshots stay in BUILD_DIR/smoke as PNG files.
set -euo pipefail

build="$(cd "${1:?usage: smoke-windows.sh BUILD_DIR}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
: "${WINEPREFIX:?smoke-windows.sh runs inside scripts/test-windows.sh}"
: "${DISPLAY:?smoke-windows.sh needs the virtual display of scripts/test-windows.sh}"
wine="$here/wine-run.sh"
exe="$build/app/Ambertrail_P3D.exe"
winctl="$build/tools/winctl/amb_winctl.exe"
class="Ambertrail_P3D"

smoke="$build/smoke"
rm -rf "$smoke"
mkdir -p "$smoke"
work="$smoke/work"
mkdir -p "$work/docs" "$work/input"
# The airport list the start-up reads (an empty one: the smoke test loads no park airport).
printf '<airports />\r\n' > "$work/input/airports_p3d.xml"
cp "$exe" "$work/"
cp -r "$build/app/server" "$work/server"
appdata="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
params="$appdata/Ambertrail_P3D/parameters.xml"
# The AI package the Linux build generated from the recorded traffic, registered with the simulator
# (Wine shows the Linux root as drive Z:), so that the automatic livery scan finds liveries.
ailib="$(cd "$build/.." && pwd)/build/app/ailib"
if [ -n "${AMBT_LINUX_SIMDOUBLE:-}" ]; then ailib="$(cd "$(dirname "$AMBT_LINUX_SIMDOUBLE")/../.." && pwd)/app/ailib"; fi
mkdir -p "$appdata/Lockheed Martin/Prepar3D v5"
printf '[Package.0]\r\nPATH=Z:%s\r\nTITLE=Ambertrail AI\r\nACTIVE=true\r\n' "$(echo "$ailib" | tr / '\\')" \
  > "$appdata/Lockheed Martin/Prepar3D v5/add-ons.cfg"
log="$work/Log.txt"

failures=0
pass() { echo "smoke: ok   $*"; }
fail() { echo "smoke: FAIL $*" >&2; failures=$((failures + 1)); }
check() { local what="$1"; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

# Polls the command every 0.1 s until it succeeds or the bound (seconds) passes.
wait_until() {
  local bound="$1"; shift
  local end=$((SECONDS + bound))
  while ! "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# Log lines without the carriage returns of Windows text files.
log_has() { [ -f "$log" ] && tr -d '\r' <"$log" | grep -qF -- "$1"; }
param_is() { [ -f "$params" ] && grep -q "name=\"$1\" value=\"$2\"" "$params"; }

program=""
start_program() {
  (cd "$work" && exec "$wine" ./Ambertrail_P3D.exe) &
  program=$!
}
# Waits (bounded) for the program to end; its exit code, or 124 after ending it by its id.
end_of_program() {
  local bound="$1" rc=0
  if ! wait_until "$bound" bash -c "! kill -0 $program"; then
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    program=""
    return 124
  fi
  wait "$program" || rc=$?
  program=""
  return "$rc"
}
double=""
cleanup() {
  local p
  for p in "$program" "$double"; do
    if [ -n "$p" ] && kill -0 "$p" 2>/dev/null; then
      kill "$p" 2>/dev/null || true
      wait "$p" 2>/dev/null || true
    fi
  done
}
trap cleanup EXIT

winctl() { "$wine" "$winctl" "$@"; }

# Closes the window as its close button does (WM_CLOSE) and waits for the program's end: true for
# exit code 0.
end_after_close() {
  local rc=0
  winctl close "$class" || return 1
  end_of_program 90 || rc=$?
  echo "smoke: exit code $rc"
  [ "$rc" = 0 ]
}

# The simulator's install folders as the registry names them (wine reg, as an installer writes them).
reg_set_install() {
  local folder="$smoke/Prepar3D v$1"
  mkdir -p "$folder"
  "$wine" reg add "HKLM\SOFTWARE\Lockheed Martin\Prepar3D v$1" /v SetupPath /d "Z:${folder//\//\\}" /f >/dev/null
}
reg_remove_install() { "$wine" reg delete "HKLM\SOFTWARE\Lockheed Martin\Prepar3D v$1" /f >/dev/null 2>&1 || true; }

# The window's screen rectangle and client origin: sets win_left win_top client_x client_y.
window_place() {
  local line
  line="$(winctl wait "$class" 30000 | tr -d '\r')" || return 1
  read -r _ win_left win_top _ _ _ client_x client_y _ _ <<<"$line"
  echo "smoke: $line"
}

# A screenshot of the whole display as PNG, with pixel checks at client coordinates of the window.
screenshot() {
  local name="$1"; shift
  local checks=() check
  for check in "$@"; do
    local where="${check%%=*}" want="${check#*=}"
    IFS=, read -r -a c <<<"$where"
    if [ "${#c[@]}" -eq 4 ]; then
      checks+=("$((c[0] + client_x)),$((c[1] + client_y)),$((c[2] + client_x)),$((c[3] + client_y))=$want")
    else
      checks+=("$((c[0] + client_x)),$((c[1] + client_y))=$want")
    fi
  done
  xwd -root -silent >"$smoke/$name.xwd"
  python3 "$here/xwd_png.py" "$smoke/$name.xwd" "$smoke/$name.png" \
    "crop=$((client_x - 8)),$((client_y - 8)),$((client_x + 888)),$((client_y + 484))" "${checks[@]}"
  local rc=$?
  rm -f "$smoke/$name.xwd"
  return $rc
}

header_re='^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} \(utc\) Ambertrail_P3D version [0-9]+\.[0-9]+\.[0-9]+ for Prepar3D v5/v6$'
header_ok() { [ -f "$log" ] && head -n1 "$log" | tr -d '\r' | grep -qE "$header_re"; }
header_count() { tr -d '\r' <"$log" | grep -cE "$header_re" || true; }

echo "== smoke 1: first start, no simulator installed"
rm -rf "$appdata/Ambertrail_P3D"
start_program
check "Log.txt starts with its header" wait_until 60 header_ok
check "the window appears" window_place
check "the window stands at the default position 400, 20" test "${win_left:-}" = 400 -a "${win_top:-}" = 20
check "parameters.xml is written in the application-data folder" wait_until 60 test -f "$params"
check "detection finds no simulator" wait_until 60 log_has "P3D not detected?"

# A second copy ends at once with -1 and leaves the first one's log alone.
rc=0
(cd "$work" && timeout -k 5 60 "$wine" ./Ambertrail_P3D.exe) || rc=$?
check "a second start exits with -1 (255)" test "$rc" = 255
check "the second start wrote no log" test "$(header_count)" = 1 -a ! -e "$work/Log0.txt"

# Black status band with the lime header, the red simulator lamp, the light blue option area.
check "the window is painted (smoke1.png)" screenshot smoke1 \
  300,60=000000 411,50=FF0000 860,250=99CCFF 0,0,300,28=32CD32:40

# Moved as a user drags it, the window's position is stored when the program ends.
check "the window can be moved" winctl move "$class" 150 70
check "closing the window ends the program with exit code 0" end_after_close
check "the window position is saved" param_is MAIN_WINDOW_X 150
check "the window position is saved (y)" param_is MAIN_WINDOW_Y 70

echo "== smoke 2: Prepar3D v5 installed"
reg_set_install 5
rm -f "$work"/Log*.txt
start_program
check "the window opens at the stored position" window_place
check "the window stands at 150, 70" test "${win_left:-}" = 150 -a "${win_top:-}" = 70
check "detection logs P3Dv5detected" wait_until 60 log_has "P3Dv5detected"
# A window that is minimised when the program ends lies far off the screen: the stored position stays.
check "the window can be minimised" winctl minimize "$class"
check "closing the window ends the program with exit code 0" end_after_close
check "a minimised window keeps its stored position" param_is MAIN_WINDOW_X 150
check "a minimised window keeps its stored position (y)" param_is MAIN_WINDOW_Y 70

echo "== smoke 3: both Prepar3D v5 and v6 installed"
reg_set_install 6
# Detection runs while no install path is stored.
sed -i 's/name="SIM_INSTALL_PATH" value="[^"]*"/name="SIM_INSTALL_PATH" value=""/' "$params"
rm -f "$work"/Log*.txt
start_program
check "the window appears" window_place
check "detection reports error 153" wait_until 60 log_has "Error 153"
check "closing the window ends the program with exit code 0" end_after_close
reg_remove_install 6

# The simulator: the program registers its vocabulary (the double's packet log of the connection
# equals the golden file of the Linux tests) and shows the lime simulator lamp.
golden="$here/../tests/sim/golden/registration.txt"
scenario=(--set "user 40.6413 -73.7781 13 90" --set "title Boeing 737-800 Paint1" --set "zulu 1551821400")
golden_lines() { wc -l <"$golden"; }
# The first session's packet-log lines, without their session number.
session_lines() { tr -d '\r' <"$1" | grep '^session=1 ' | sed 's/^session=1 //'; }
registered() { [ -f "$1" ] && [ "$(session_lines "$1" | wc -l)" -ge "$(golden_lines)" ]; }
same_as_golden() { diff <(session_lines "$1" | head -n "$(golden_lines)") "$golden" >"$smoke/golden.diff"; }
lamp_is() { xwd -root -silent >"$smoke/lamp.xwd" && python3 "$here/xwd_png.py" "$smoke/lamp.xwd" - "$((client_x + 411)),$((client_y + 50))=$1" >/dev/null; }

simulator_run() {
  local via="$1" packets="$2"
  start_program
  check "the window appears ($via)" window_place
  check "the program connects to the double over $via and registers its definitions" wait_until 60 registered "$packets"
  check "the registration equals the Linux golden ($via)" same_as_golden "$packets"
  check "the simulator lamp turns lime ($via)" wait_until 60 lamp_is 32CD32
  screenshot "smoke-$via" 411,50=32CD32 300,60=000000 || true
  cp "$log" "$smoke/Log-$via.txt" 2>/dev/null || true
  check "closing the window ends the program with exit code 0 ($via)" end_after_close
}

if [ ! -f "$golden" ]; then
  echo "smoke: the simulator checks need the simulator link (tests/sim/golden/registration.txt); left out"
else
  sed -i 's/name="SIM_INSTALL_PATH" value="[^"]*"/name="SIM_INSTALL_PATH" value=""/' "$params"

  echo "== smoke 4: the Linux simulator double over TCP (SimConnect.cfg)"
  linux_double="${AMBT_LINUX_SIMDOUBLE:-$build/../build/tools/simdouble/amb_simdouble}"
  if [ ! -x "$linux_double" ]; then
    fail "the Linux simulator double $linux_double is not built (make linux-double)"
  else
    mkdir -p "$smoke/tcp"
    "$linux_double" --tcp4 0 --port-file "$smoke/tcp/ports.txt" --packet-log "$smoke/tcp/packets.log" \
      "${scenario[@]}" >"$smoke/tcp/double.out" 2>&1 &
    double=$!
    if wait_until 30 test -s "$smoke/tcp/ports.txt"; then
      port="$(sed -n 's/^tcp4 //p' "$smoke/tcp/ports.txt")"
      printf '[SimConnect]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\nPort=%s\r\n' "$port" >"$work/SimConnect.cfg"
      rm -f "$work"/Log*.txt
      simulator_run tcp "$smoke/tcp/packets.log"
      check "detection logs P3Dv5detected" log_has "P3Dv5detected"
    else
      fail "the Linux simulator double listens"
    fi
    kill "$double" 2>/dev/null || true
    wait_until 10 bash -c "! kill -0 $double" || kill -9 "$double" 2>/dev/null || true
    wait "$double" 2>/dev/null || true
    double=""
    rm -f "$work/SimConnect.cfg"
  fi

  echo "== smoke 5: the Windows simulator double over the named pipe"
  mkdir -p "$smoke/pipe"
  mkfifo "$smoke/pipe/control"
  # Held open here, so that the double's standard input stays open until it is told to exit.
  exec 8<>"$smoke/pipe/control"
  "$wine" "$build/tools/simdouble/amb_simdouble.exe" --pipe --stdin --port-file "Z:$smoke/pipe/ports.txt" \
    --packet-log "Z:$smoke/pipe/packets.log" "${scenario[@]}" <&8 >"$smoke/pipe/double.out" 2>&1 &
  double=$!
  if wait_until 60 test -s "$smoke/pipe/ports.txt"; then
    rm -f "$work"/Log*.txt
    simulator_run pipe "$smoke/pipe/packets.log"
  else
    fail "the Windows simulator double listens on its pipe"
  fi
  echo exit >&8 || true
  if ! wait_until 30 bash -c "! kill -0 $double"; then
    kill "$double" 2>/dev/null || true
  fi
  wait "$double" 2>/dev/null || true
  double=""
  exec 8>&-
fi
reg_remove_install 5

if [ "$failures" -ne 0 ]; then
  echo "smoke: $failures check(s) failed; the program's log and screenshots are in $smoke" >&2
  exit 1
fi
echo "smoke: every check passed; screenshots in $smoke"
