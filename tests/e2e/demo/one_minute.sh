#!/usr/bin/env bash
# The main job for one minute, as CI runs it: what it prints is what the README shows. Its progress
# lines have the columns of the README's example line, it says so while it waits for its doubles and
# the first traffic, and a minute is one minute, not "1 minutes" or "1 minute(s)".
# Usage: one_minute.sh BUILD SOURCE (run where the machine allows network namespaces)
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $1" >&2
  exit 1
}

# The README's example line as a pattern: numbers stand for any numbers, runs of blanks for any
# blanks, the message for any text.
example="$(sed -n 's/^    \([0-9][0-9]:[0-9][0-9]:[0-9][0-9] +[0-9]*:[0-9][0-9] .*\)$/\1/p' "$source_dir/README.md")"
[ "$(printf '%s\n' "$example" | grep -c .)" = 1 ] || fail "the README has no single example progress line"
pattern="^$(printf '%s' "${example%%|*}" | sed -e 's/+/\\+/g' -e 's/[0-9][0-9]*/[0-9]+/g' -e 's/  */ +/g')\\| .*\$"

rc=0
DEMO_DIR="$tmp/demo" DEMO_MINUTES=1 bash "$source_dir/scripts/demo.sh" "$build" > "$tmp/out" 2>&1 || rc=$?
cat "$tmp/out"
[ "$rc" = 0 ] || fail "the run ended with exit code $rc"

progress="$(grep -E '^[0-9]{2}:[0-9]{2}:[0-9]{2} \+[0-9]+:[0-9]{2} ' "$tmp/out" || true)"
[ -n "$progress" ] || fail "no progress line"
while IFS= read -r line; do
  printf '%s\n' "$line" | grep -qE "$pattern" || fail "a progress line unlike the README's example: $line (pattern $pattern)"
done <<< "$progress"

# Something is said between the start of the doubles and the traffic's first minute.
waiting="$(sed -n '/^== trafficdouble:/,/^== The live traffic flies/p' "$tmp/out" | grep -c . || true)"
[ "$waiting" -ge 4 ] || fail "nothing is printed while the run waits for its doubles and the first traffic"
grep -q "^== The live traffic flies for 1 minute (" "$tmp/out" || fail "the minute is not \"1 minute\""
if grep -nE '\b1 minutes\b|minute\(s\)' "$tmp/out"; then fail "\"1 minutes\" or \"minute(s)\" above"; fi
echo "PASS"
