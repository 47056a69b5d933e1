#!/usr/bin/env bash
# Builds and runs every test twice: in the normal build and under AddressSanitizer and
# UndefinedBehaviorSanitizer; then the run's tests, concurrent ones included, under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"
# The concurrent run's tests once more under ThreadSanitizer.
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
  build-tsan/tests/engine_tests --gtest_brief=1 --gtest_filter='ConcurrentRun*:RunConversion*'
