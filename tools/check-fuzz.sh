#!/bin/sh
# Stage: every libFuzzer target (clang, with ASan and UBSan) for a bounded time each, over seeds made from
# the demo game at test time. A crash, a sanitizer report or a slow input fails the stage.
#   sh tools/check-fuzz.sh [--build-only]
set -e
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
[ "$1" = "--build-only" ] && exit 0
ctest --preset fuzz
# Executions, exec/s and coverage of each run, from libFuzzer's last lines, the largest input its corpus
# holds, and the executions of all targets together.
total=0
for log in build/fuzz/fuzz/logs/fuzz_*.log; do
  name=$(basename "$log" .log)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  corpus=build/fuzz/fuzz/corpus/${name#fuzz_}
  largest=$(find "$corpus" -type f -exec wc -c {} + 2>/dev/null | grep -v ' total$' | sort -n | tail -n 1 |
    awk '{print $1}')
  echo "$name: $runs executions, ${rate:-?} exec/s, $(echo "$done_line" | sed -E 's/.*DONE +//'), largest input ${largest:-0} bytes"
  total=$((total + runs))
done
echo "all fuzzers: $total executions"
