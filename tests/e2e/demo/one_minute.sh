#!/usr/bin/env bash
# The main job for one minute, as CI runs it, prints what the README shows: progress lines with the
# columns of its example line (numbers and blanks as they come), a line while it waits for the first
# traffic, and one minute as "1 minute".
# Usage: one_minute.sh BUILD SOURCE (run where the machine allows network namespaces)
set -euo pipefail
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $1" >&2; exit 1; }

example="$(sed -n 's/^    \([0-9][0-9]:[0-9][0-9]:[0-9][0-9] +[0-9]*:[0-9][0-9] .*\)$/\1/p' "$2/README.md")"
[ "$(printf '%s\n' "$example" | grep -c .)" = 1 ] || fail "the README has no single example progress line"
pattern="^$(printf '%s' "${example%%|*}" | sed -e 's/+/\\+/g' -e 's/[0-9][0-9]*/[0-9]+/g' -e 's/  */ +/g')\\| .*\$"

DEMO_DIR="$tmp/demo" DEMO_MINUTES=1 bash "$2/scripts/demo.sh" "$1" > "$tmp/out" 2>&1 || fail "the run failed: $(cat "$tmp/out")"
cat "$tmp/out"
progress="$(grep -E '^[0-9]{2}:[0-9]{2}:[0-9]{2} \+[0-9]+:[0-9]{2} ' "$tmp/out")" || fail "no progress line"
while IFS= read -r line; do
  printf '%s\n' "$line" | grep -qE "$pattern" || fail "unlike the README's example ($pattern): $line"
done <<< "$progress"
[ "$(sed -n '/^== trafficdouble:/,/^== The live traffic flies/p' "$tmp/out" | wc -l)" -ge 4 ] ||
  fail "nothing is printed while the run waits for the first traffic"
grep -q "^== The live traffic flies for 1 minute (" "$tmp/out" || fail "one minute is not \"1 minute\""
! grep -nE '\b1 minutes\b|minute\(s\)' "$tmp/out" || fail "\"1 minutes\" or \"minute(s)\" above"
echo "PASS"
