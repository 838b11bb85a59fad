#!/usr/bin/env bash
# Builds the project and runs every test, installing missing Debian packages first.
#
#   scripts/test.sh
#
# 1. A build with warnings as errors and the window side: unit, program and window tests
#    (the window tests run the game under Xvfb).
# 2. An AddressSanitizer + UndefinedBehaviorSanitizer build: unit and program tests.
# 3. A ThreadSanitizer build: the threaded tests (tests whose name contains "Threaded", and any
#    labelled tsan), with tools/tsan.supp as suppressions when it exists.
# 4. scripts/fuzz-smoke.sh, when it exists: every fuzz target for a short while.
# Stops at the first failure. Builds live in build/ci, build/asan and build/tsan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${VOST_JOBS:-$(nproc)}
cd "$root"

step() { printf '\n=== %s ===\n' "$*"; }

bash scripts/install-deps.sh test

step "Build (warnings as errors) and all tests"
cmake -S . -B build/ci -G Ninja -DVOST_WERROR=ON -DVOST_WINDOW=ON
cmake --build build/ci -j "$jobs"
ctest --test-dir build/ci --output-on-failure -j "$jobs" --no-tests=error

step "AddressSanitizer + UndefinedBehaviorSanitizer: unit and program tests"
cmake -S . -B build/asan -G Ninja -DVOST_WERROR=ON -DVOST_WINDOW=OFF -DVOST_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE window --no-tests=error

step "ThreadSanitizer: threaded tests"
cmake -S . -B build/tsan -G Ninja -DVOST_WERROR=ON -DVOST_WINDOW=OFF -DVOST_TSAN=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/tsan -j "$jobs"
tsan_options="halt_on_error=1:second_deadlock_stack=1"
if [ -f tools/tsan.supp ]; then
  tsan_options="$tsan_options:suppressions=$root/tools/tsan.supp"
fi
TSAN_OPTIONS="$tsan_options" \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -R Threaded --no-tests=error
TSAN_OPTIONS="$tsan_options" \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L tsan -E Threaded --no-tests=ignore

if [ -f scripts/fuzz-smoke.sh ]; then
  step "Fuzz smoke run"
  bash scripts/fuzz-smoke.sh
fi

step "All tests passed"
