#!/bin/sh
# The whole test suite, as CI runs it: every stage builds its own tree and runs its tests through ctest.
set -e
cd "$(dirname "$0")/.."
sh tools/check-format.sh
cmake --workflow --preset test
sh tools/check-sound.sh build/ci
sh tools/check-sanitizers.sh
sh tools/check-fuzz.sh
sh tools/check-package.sh
sh tools/check-windows.sh
