#!/usr/bin/env bash
# The main job when another program holds the RealTraffic command port (10747) on a machine where the
# run cannot have a network namespace of its own: the run must say that it shares the machine's
# network, end non-zero, name the port and show the last error of the log, without waiting out its
# minutes.
# Usage: port_taken.sh BUILD SOURCE
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

python3 - "$tmp/held" <<'PY' &
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.bind(("0.0.0.0", 10747))
s.listen(1)
open(sys.argv[1], "w").write("held\n")
time.sleep(600)
PY
holder=$!
for _ in $(seq 1 100); do
  [ -s "$tmp/held" ] && break
  kill -0 "$holder" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$tmp/held" ]; then
  echo "could not hold port 10747 for the test" >&2
  exit 1
fi

rc=0
# A machine that gives the run no network namespace of its own: the run shares this test's network,
# where the port is held.
mkdir "$tmp/bin"
printf '#!/bin/sh\necho "unshare: unshare failed: Operation not permitted" >&2\nexit 1\n' > "$tmp/bin/unshare"
chmod +x "$tmp/bin/unshare"
PATH="$tmp/bin:$PATH" DEMO_DIR="$tmp/demo" DEMO_MINUTES=5 bash "$source_dir/scripts/demo.sh" "$build" > "$tmp/out" 2>&1 || rc=$?
cat "$tmp/out"
fail() {
  echo "FAIL: $1" >&2
  exit 1
}
[ "$rc" != 0 ] || fail "the run ended with exit code 0"
grep -q '^FAILED: Ambertrail_P3D ended by itself before the run closed it' "$tmp/out" || fail "no FAILED line"
grep -q '^last error in the log: .*10747' "$tmp/out" || fail "the log's last error is not shown"
grep -q '^port 10747 is taken by another program' "$tmp/out" || fail "the port is not named"
grep -q "^(no network namespace of its own on this machine: the run shares the machine's network)" "$tmp/out" ||
  fail "the run does not say that it shares the machine's network"
# It did not wait for the traffic: no line of progress came.
if grep -q ' live .* created ' "$tmp/out"; then fail "the run went on after the program had ended"; fi
echo "PASS"
