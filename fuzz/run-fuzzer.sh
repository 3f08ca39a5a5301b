#!/bin/sh
# run-fuzzer.sh LOG FUZZER ARGS...: runs one fuzzer with its output in LOG, then shows its final figures,
# or the end of the log when it found a crash, a sanitizer report or a timeout.
log=$1
fuzzer=$2
shift 2
mkdir -p "$(dirname "$log")"
"$fuzzer" "$@" >"$log" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  tail -n 80 "$log"
  echo "$(basename "$fuzzer") failed with status $status; full output in $log"
else
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log"
fi
exit "$status"
