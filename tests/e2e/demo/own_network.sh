#!/usr/bin/env bash
# The main job in a network namespace of its own: while other programs hold the RealTraffic command
# port (10747) and the traffic port (49005) in the machine's network, a short run still connects its
# program to its own doubles, and a traffic line sent to the machine's traffic port never reaches it.
# Usage: own_network.sh BUILD SOURCE (run where the machine allows network namespaces)
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"

tmp="$(mktemp -d)"
holder=
cleanup() {
  if [ -n "$holder" ] && kill -0 "$holder" 2>/dev/null; then
    kill "$holder"
    wait "$holder" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# The other programs: one holds the command port, one listens on the traffic port and counts what
# comes in.
python3 - "$tmp/held" "$tmp/udp" <<'PY' &
import socket, sys, time
tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
tcp.bind(("0.0.0.0", 10747))
tcp.listen(1)
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("0.0.0.0", 49005))
udp.settimeout(0.5)
open(sys.argv[1], "w").write("held\n")
end = time.time() + 600
while time.time() < end:
    try:
        data = udp.recv(65536)
    except socket.timeout:
        continue
    with open(sys.argv[2], "a") as f:
        f.write("%d\n" % len(data))
PY
holder=$!
for _ in $(seq 1 100); do
  [ -s "$tmp/held" ] && break
  kill -0 "$holder" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$tmp/held" ]; then
  echo "could not hold ports 10747 and 49005 for the test" >&2
  exit 1
fi

rc=0
DEMO_DIR="$tmp/demo" DEMO_MINUTES=0 bash "$source_dir/scripts/demo.sh" "$build" > "$tmp/out" 2>&1 || rc=$?
cat "$tmp/out"
fail() {
  echo "FAIL: $1" >&2
  exit 1
}
[ "$rc" = 0 ] || fail "the run ended with exit code $rc"
grep -q "^== The run's network: a namespace of its own, only the loopback$" "$tmp/out" || fail "no namespace of its own"
grep -q '^lamps: *both lime' "$tmp/out" || fail "the program did not connect to its doubles"
# The run's traffic double sent its traffic inside the run's namespace, not to the machine's port.
[ ! -s "$tmp/udp" ] || fail "$(wc -l < "$tmp/udp") datagrams reached the machine's traffic port"
echo "PASS"
