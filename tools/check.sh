#!/bin/sh
# The whole test suite, as CI runs it: every stage builds its own tree and runs its tests through ctest.
# Each stage's time is printed as it ends.
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
stage sanitizers sh tools/check-sanitizers.sh
stage fuzz sh tools/check-fuzz.sh
stage package sh tools/check-package.sh
stage windows sh tools/check-windows.sh
