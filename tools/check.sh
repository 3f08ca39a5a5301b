#!/bin/sh
# The whole test suite, as CI runs it: every stage builds its tree and runs its tests through ctest. Each
# stage's time is printed as it ends.
set -e
cd "$(dirname "$0")/.."
started=$(date +%s)
stage() {
    name=$1
    shift
    from=$(date +%s)
    "$@"
    echo "check: $name took $(($(date +%s) - from)) s ($(($(date +%s) - started)) s in all)"
}
stage format sh tools/check-format.sh
stage "ci workflow" cmake --workflow --preset test
stage sound sh tools/check-sound.sh build/ci
# The ci tree is optimised as released: the package is made from it.
stage package sh tools/check-package.sh build/ci
stage sanitizers sh tools/check-sanitizers.sh
stage "fuzz build" sh tools/check-fuzz.sh --build-only
stage "windows build" sh -c 'cmake --preset mingw >/dev/null && cmake --build --preset mingw'
# The fuzzers run for a set time each, whatever else runs: they run beside the Windows stage, whose tests
# and windows mostly wait on Wine and the window manager.
mkdir -p build
sh tools/check-fuzz.sh >build/fuzz-run.log 2>&1 &
fuzzing=$!
trap 'kill $fuzzing 2>/dev/null || true' EXIT
stage windows sh tools/check-windows.sh
fuzz_run() {
    status=0
    wait "$fuzzing" || status=$?
    cat build/fuzz-run.log
    return $status
}
stage "fuzz run (beside windows)" fuzz_run
trap - EXIT
