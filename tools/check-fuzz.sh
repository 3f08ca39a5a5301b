#!/bin/sh
# Stage: every libFuzzer target (clang, with ASan and UBSan) for a bounded time each, over seeds made from
# the demo game at test time. A crash, a sanitizer report or a slow input fails the stage.
set -e
cd "$(dirname "$0")/.."
cmake --workflow --preset fuzz-test
# Executions and coverage of each run, from libFuzzer's last lines.
for log in build/fuzz/fuzz/logs/fuzz_*.log; do
  name=$(basename "$log" .log)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$name: $runs executions, $(echo "$done_line" | sed -E 's/.*DONE +//')"
done
