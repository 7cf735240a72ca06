#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a while.
#
#   scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
#
# With FUZZ_BUDGET=N in the environment the N seconds are shared evenly among all targets instead
# (at least 5 s each). Each target starts from its seeds plus what earlier runs found (kept in
# BUILD_DIR/fuzz/found/<target>); a crash, leak, time-out or out-of-memory stops it, leaves the
# input in BUILD_DIR/fuzz/crashes/ and fails the run once every target has had its turn. Prints
# executions per target at the end.
set -euo pipefail

build=${1:?usage: fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]}
seconds=${2:-10}
list="$build/fuzz/targets.txt"
[ -f "$list" ] || { echo "fuzz.sh: $list missing: not a fuzz build" >&2; exit 2; }
# Absolute: the targets work in a temporary folder of their own.
build=$(cd "$build" && pwd)

mapfile -t lines < <(grep -v '^[[:space:]]*$' "$list")
count=${#lines[@]}
[ "$count" -gt 0 ] || { echo "fuzz.sh: no targets in $list" >&2; exit 2; }
if [ -n "${FUZZ_BUDGET:-}" ]; then
  seconds=$(( FUZZ_BUDGET / count ))
  [ "$seconds" -ge 5 ] || seconds=5
fi
echo "== fuzzing $count targets, $seconds s each"

crashes="$build/fuzz/crashes"
mkdir -p "$crashes"
# Leaks are reported at exit by the sanitizers, which libFuzzer counts as a failure; a whole-second
# input time-out and a memory cap catch hangs and unbounded growth.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}:abort_on_error=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}:halt_on_error=1"

failed=()
summary=()
for line in "${lines[@]}"; do
  read -r name program seeds <<<"$line"
  found="$build/fuzz/found/$name"
  mkdir -p "$found"
  log="$build/fuzz/$name.log"
  # shellcheck disable=SC2086  # the seed folders are separate words
  if "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
       -print_final_stats=1 -artifact_prefix="$crashes/$name-" "$found" $seeds >"$log" 2>&1; then
    status=ok
  else
    status=FAILED
    failed+=("$name")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  summary+=("$(printf '%-28s %12s executions  %s' "$name" "${execs:-?}" "$status")")
  if [ "$status" != ok ]; then
    echo "---- $name: last lines of $log"
    tail -n 40 "$log"
  fi
done

echo "== fuzz results"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: ${failed[*]} failed; inputs in $crashes" >&2
  exit 1
fi
