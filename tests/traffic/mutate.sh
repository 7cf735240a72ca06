#!/usr/bin/env bash
# Mutation check of the rules: every constant and threshold listed in tests/traffic/mutations.txt is
# moved one step down and one step up, one change at a time, and the unit tests that can see it are
# run against each change; the changes that no test caught are reported. The list holds every number
# of the traffic engine and of the feed's traffic line, and a sample of the other subsystems' rules.
# The list's format and its lookup are in tests/traffic/mutation_list.py; a unit test
# (traffic_mutation_list) fails when a number of traffic/*.cpp or feed/traffic_line.* is neither in
# the list nor excused.
#
# Which test programs judge a change depends on the folder of its file (suites_of below): the
# program of that subsystem and those of the subsystems above it that run its code in their tests
# (a change in feed/ is judged by the feed and the traffic tests).
#
# The changes are made in a scratch copy of the source tree outside the repository. So that each
# test program is built only once, every changed number is compiled in behind a switch that the
# programs read at start (the environment variable AMB_MUTANT: change 2k is line k of the list one
# step down, 2k+1 one step up; unset, the programs are the unchanged ones). Each change then runs
# the fast test suites of its programs first and, when they all pass, the slow whole-recording
# suites of the traffic tests as well.
#
#   tests/traffic/mutate.sh [filter]    only the list lines whose text contains `filter`
#   tests/traffic/mutate.sh @file       only the list lines that stand in `file` (e.g. those missed)
#
# Environment: MUT_DIR (scratch folder, default /tmp/amb-mutation-$USER), MUT_JOBS (build jobs and
# changes run at once, default 3), MUT_CLEAN=1 starts the scratch build afresh.
# Exit status: 0 when every change was caught, 1 when some were not, 2 on a setup error.
set -euo pipefail

src="$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
list="$src/tests/traffic/mutations.txt"
filter="${1:-}"
work="${MUT_DIR:-/tmp/amb-mutation-${USER:-user}}"
jobs="${MUT_JOBS:-3}"
copy="$work/src"
build="$copy/build"
report="$work/report.txt"
# Suites of the traffic tests that replay the whole recording: run only for changes the others did
# not catch.
slow='JfkReplay*:JfkGround*:JfkReplayUserAloft*'

# The test programs (folder under tests/ and target) that judge a change in a file, by its folder.
suites_of() {
  case "$1" in
    traffic/* | records/*) echo "traffic" ;;
    feed/*) echo "feed traffic" ;;
    sim/simconnect/*) echo "simconnect sim" ;;
    sim/*) echo "sim traffic" ;;
    liveries/*) echo "liveries liveries_scan traffic" ;;
    scan/*) echo "scan" ;;
    *) return 1 ;;
  esac
}
program_of() {
  case "$1" in
    liveries_scan) echo "livery_scan_tests" ;;
    *) echo "$1_tests" ;;
  esac
}

die() { echo "mutate: $*" >&2; exit 2; }

# ---- A fresh copy of the working tree (tracked and new files, not ignored ones) ----
mkdir -p "$copy"
[[ "${MUT_CLEAN:-0}" == 1 ]] && rm -rf "$build"
find "$copy" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
# The files take the time of the copy (-m): a header older than the last build's objects would
# otherwise leave them stale. The compiler cache keeps the rebuild short.
(cd "$src" && git ls-files -co --exclude-standard -z | xargs -0 -I{} sh -c 'test -e "{}" && printf "%s\0" "{}"' |
  tar --null -cf - -T -) | tar -xmf - -C "$copy"

# ---- The switches: each listed number that changes becomes AMB_MUT(k, original, down, up) ----
python3 "$src/tests/traffic/mutation_list.py" switch "$copy" "$list" "$filter" "$work/changes.tsv" "$work/excused.tsv" ||
  die "the list does not fit the source"

# Warnings stay warnings here: a switched number may compare signed with unsigned.
sed -i 's/-Werror//g' "$copy"/cmake/*.cmake
export CCACHE_BASEDIR="$copy" CCACHE_NOHASHDIR=1
cmake -S "$copy" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAMB_BUILD_BENCH=OFF >/dev/null ||
  die "configure failed"
# The programs that judge the chosen changes.
: >"$work/plan.txt"
while IFS=$'\t' read -r k file _; do
  suites="$(suites_of "$file")" || die "no test programs for $file (see suites_of)"
  printf '%s\t%s\n' "$k" "$suites" >>"$work/plan.txt"
done <"$work/changes.tsv"
read -ra needed <<<"$(cut -f2 "$work/plan.txt" | tr ' ' '\n' | sort -u | tr '\n' ' ')"
((${#needed[@]} > 0)) || die "no list line chosen"
targets=()
for s in "${needed[@]}"; do targets+=("$(program_of "$s")"); done
echo "mutate: building ${targets[*]}"
cmake --build "$build" -j "$jobs" --target "${targets[@]}" >"$work/build.log" 2>&1 || die "build failed (see $work/build.log)"
echo "mutate: the unchanged programs"
for s in "${needed[@]}"; do
  (cd "$build/tests/$s" && "./$(program_of "$s")" --gtest_brief=1 >"$work/baseline-$s.log" 2>&1) ||
    die "the unchanged $(program_of "$s") fails (see $work/baseline-$s.log)"
done

# ---- One change: caught by the fast suites, else by the slow ones, else not caught ----
mkdir -p "$work/runs"
run_one() {
  local id="$1" log="$work/runs/$1.log" s suites filter
  suites="$(awk -F'\t' -v k="$(($1 / 2))" '$1 == k { print $2 }' "$work/plan.txt")"
  : >"$log"
  for s in $suites; do
    filter='*'
    [[ "$s" == traffic ]] && filter="-$slow"
    if ! (cd "$build/tests/$s" && AMB_MUTANT="$id" timeout 600 "./$(program_of "$s")" --gtest_brief=1 --gtest_fail_fast \
          --gtest_filter="$filter") >>"$log" 2>&1; then
      echo "$id caught"
      return
    fi
  done
  for s in $suites; do
    [[ "$s" == traffic ]] || continue
    if ! (cd "$build/tests/$s" && AMB_MUTANT="$id" timeout 900 "./$(program_of "$s")" --gtest_brief=1 --gtest_fail_fast \
          --gtest_filter="$slow") >>"$log" 2>&1; then
      echo "$id caught"
      return
    fi
  done
  echo "$id missed"
}
export -f run_one program_of
export work build slow
n=$(wc -l <"$work/changes.tsv")
echo "mutate: $((2 * n)) changes, $jobs at a time"
# The shell's own line about a crashed program goes to the change's log.
seq 0 $((2 * n - 1)) | xargs -P "$jobs" -I{} bash -c 'run_one {} 2>>"$work/runs/{}.log"' >"$work/verdicts.txt"

caught=0; missed=0
declare -A caughtIn=() triedIn=()
: >"$report"
while IFS=$'\t' read -r k file orig down up; do
  for side in 0 1; do
    id=$((2 * k + side))
    to="$down"; ((side == 1)) && to="$up"
    triedIn[$file]=$((${triedIn[$file]:-0} + 1))
    if grep -qx "$id caught" "$work/verdicts.txt"; then
      caught=$((caught + 1)); caughtIn[$file]=$((${caughtIn[$file]:-0} + 1)); verdict="caught"
    else missed=$((missed + 1)); verdict="NOT CAUGHT"; fi
    printf '%-11s %s: %s -> %s\n' "$verdict" "$file" "$orig" "$to" >>"$report"
  done
done <"$work/changes.tsv"
excusedCount=$(wc -l <"$work/excused.tsv")
{
  if [[ -s "$work/excused.tsv" ]]; then
    echo
    echo "excused (cannot alter behaviour):"
    while IFS=$'\t' read -r file orig reason; do echo "  $file: $orig -- $reason"; done <"$work/excused.tsv"
  fi
  echo
  echo "caught of tried, by file:"
  for file in $(printf '%s\n' "${!triedIn[@]}" | sort); do
    printf '  %-32s %4d of %4d\n' "$file" "${caughtIn[$file]:-0}" "${triedIn[$file]}"
  done
  echo
  echo "changes tried: $((caught + missed)), caught: $caught, not caught: $missed, excused: $excusedCount"
  if ((caught + missed > 0)); then echo "caught share: $((100 * caught / (caught + missed))) %"; fi
} >>"$report"
grep -v '^caught  ' "$report" || true
echo "mutate: report in $report"
((missed == 0))
