#!/bin/sh
# Stage: the whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer (the asan
# preset); any sanitizer report fails the test that caused it.
set -e
cd "$(dirname "$0")/.."
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
cmake --workflow --preset asan-test
