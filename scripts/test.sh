#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test, three ways:
#   1. the normal build (build/), warnings as errors, and the Debian package made from it
#      (scripts/check-package.sh);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), where any
#      report ends the program that made it with an error, so its test fails;
#   3. a short pass of every fuzz target (build-fuzz/, clang's libFuzzer; fuzz/run.sh runs longer ones).
# The size of the tests beside the program's is checked first (scripts/test-ratio.sh). The window tests
# run offscreen. KELVOT_FUZZ_SECONDS sets the time per fuzz target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== The size of the tests"
scripts/test-ratio.sh

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVOT_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== The package"
scripts/check-package.sh build

echo "== Build and test with the sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVOT_WERROR=ON -DKELVOT_SANITIZE=ON \
  -DKELVOT_BUILD_BENCH=OFF
cmake --build build-asan
# Leaks are checked too; only libfuse's own leak at unmount is suppressed (tests/lsan-suppressions.txt).
# A report exits with 86, a status no test accepts, also where a program is expected to fail with status 1.
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:exitcode=86
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan-suppressions.txt
export UBSAN_OPTIONS=print_stacktrace=1:exitcode=86
ctest --test-dir build-asan --output-on-failure -j "$jobs"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

echo "== Fuzz each target for a while"
fuzz/run.sh all "${KELVOT_FUZZ_SECONDS:-20}"
