#!/usr/bin/env bash
# Runs libFuzzer targets for a while each, up to JOBS at a time: each target on one core, so two
# cores run two of them in the time one took. Each target's output goes to its own log, shown
# whole when it finds something (or fails to start); a target that fails fails the run, after
# the others have finished.
# Usage: run-fuzz.sh FUZZ_BUILD_DIR SECONDS JOBS TARGET...  (TARGET without the _fuzz suffix;
# its seeds are fuzz/corpus/<first word of TARGET>).
set -u
build=$1
seconds=$2
jobs=$3
shift 3
logs=$build/logs
mkdir -p "$logs"

run_one() {
  local t=$1
  mkdir -p "$build/corpus/$t"
  # The run's own time limit, with room for its start and its last report, bounds a target that hangs.
  timeout -k 10 $((seconds + 120)) "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -max_len=4096 \
    "$build/corpus/$t" "fuzz/corpus/${t%%_*}" >"$logs/$t.log" 2>&1
}

failed=()
running=()
names=()
finish_one() {
  # Waits for the oldest run still going and notes how it ended.
  local pid=${running[0]} t=${names[0]}
  running=("${running[@]:1}")
  names=("${names[@]:1}")
  if wait "$pid"; then
    echo "== ${t}_fuzz, $seconds s: clean ($(grep -m1 -o 'Done [0-9]* runs' "$logs/$t.log" || echo 'done'))"
  else
    echo "== ${t}_fuzz, $seconds s: FAILED; its output ($logs/$t.log):"
    cat "$logs/$t.log"
    failed+=("$t")
  fi
}

for t in "$@"; do
  [ ${#running[@]} -ge "$jobs" ] && finish_one
  run_one "$t" &
  running+=($!)
  names+=("$t")
done
while [ ${#running[@]} -gt 0 ]; do finish_one; done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
