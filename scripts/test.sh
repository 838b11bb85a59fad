#!/usr/bin/env bash
# Builds the project and runs every test, installing missing Debian packages first.
#
#   scripts/test.sh
#
# 0. scripts/check-layers.sh: no include runs up a layer; scripts/check-format.sh: every source
#    file matches .clang-format.
# 1. A build with warnings as errors and the window side: unit, program and window tests
#    (the window tests run the game under Xvfb).
# 2. A short soak on the build of step 1: 2 000 puzzles of display class 2 played through the
#    real program (scripts/soak.sh).
# 3. The Debian package (scripts/package.sh: a release build of the game alone, then cpack),
#    checked by tests/package/deb_test.sh: its files, control data, metadata and lintian; then
#    tests/package/reproducible_test.sh builds it again from a copy of the sources and compares.
# 4. An AddressSanitizer + UndefinedBehaviorSanitizer build: unit and program tests.
# 5. A ThreadSanitizer build: the unit and program tests again (all but one, below), with
#    tools/tsan.supp as suppressions.
# 6. scripts/fuzz-smoke.sh: every fuzz target for a short while.
# 7. The browser build (scripts/build-web.sh, emscripten): the unit tests of core and screen under
#    node, then tests/web/page_test.py plays the site in headless Chromium against the desktop's
#    pictures (the CI build's screen_after_keys).
# Every step runs even when an earlier one failed, so one run reports all failures; the script
# exits non-zero if any step failed. Nothing is left out quietly: every build is configured with
# VOST_REQUIRE_ALL_TESTS (a test, test tool or benchmark that cannot be built stops the configure),
# VOST_REQUIRE_ALL_TESTS=1 in the environment turns a skipped GoogleTest test into a failure, and
# a test that CTest did not run fails its step. No build warns: the package build too is made
# with warnings as errors. Builds live in $VOST_BUILD_ROOT (default build/): ci, package, asan
# and tsan (the reproducibility check builds in a temporary folder, removed when it passes).
# VOST_JOBS sets the parallelism (default: the number of cores).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${VOST_BUILD_ROOT:-$root/build}
jobs=${VOST_JOBS:-$(nproc)}
cd "$root"

export VOST_REQUIRE_ALL_TESTS=1
failed=()
step() { printf '\n=== %s ===\n' "$*"; }
# Runs the commands of one step (a function); records the step as failed if any command fails.
run_step() {
  local name=$1
  shift
  step "$name"
  local started=$SECONDS status
  # A plain statement, not an if condition or an && / || list: bash ignores errexit inside those,
  # and a command failing in the middle of a step would then go unnoticed.
  ( set -e; "$@" )
  status=$?
  if [ "$status" -eq 0 ]; then
    echo "--- $name: done in $((SECONDS - started)) s"
  else
    echo "--- $name: FAILED after $((SECONDS - started)) s"
    failed+=("$name")
  fi
}

configure_and_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DVOST_WERROR=ON -DVOST_REQUIRE_ALL_TESTS=ON "$@"
  cmake --build "$dir" -j "$jobs"
}

# ctest, where a test that did not run (skipped, disabled) fails the step as a failed one does.
ctest_all_run() {
  local log status=0
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log" || status=1
  if grep -q '^The following tests did not run:' "$log"; then
    echo "Tests that did not run fail the test command (install what they need)."
    status=1
  fi
  rm -f "$log"
  return "$status"
}

all_tests() {
  configure_and_build "$builds/ci" -DVOST_WINDOW=ON
  ctest_all_run --test-dir "$builds/ci" --output-on-failure -j "$jobs" -LE window --no-tests=error
  # The window tests drive the real game through an X server on a shared machine; a test that
  # fails is run once more (and ctest says so), a test that fails twice fails the step.
  ctest_all_run --test-dir "$builds/ci" --output-on-failure -L window --repeat until-pass:2 \
    --no-tests=error
}

package_checks() {
  VOST_JOBS=$jobs VOST_WERROR=ON bash "$root/scripts/package.sh" "$builds/package"
  bash "$root/tests/package/deb_test.sh" "$builds/package"
}

reproducible_package() {
  VOST_JOBS=$jobs VOST_WERROR=ON bash "$root/tests/package/reproducible_test.sh" "$builds/package"
}

address_sanitizer_tests() {
  configure_and_build "$builds/asan" -DVOST_WINDOW=OFF -DVOST_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest_all_run --test-dir "$builds/asan" --output-on-failure -j "$jobs" -LE 'window|differential' \
    --no-tests=error
}

# Every unit and program test runs under ThreadSanitizer: the program tests start the program
# thread, many unit tests start threads of their own. One is left out: DivisionByZeroIsFatal
# starts no thread, and its SIGFPE handler shows the fatal dialog (malloc, fork) from inside the
# signal by design, which ThreadSanitizer reports as a signal-unsafe call.
thread_sanitizer_tests() {
  configure_and_build "$builds/tsan" -DVOST_WINDOW=OFF -DVOST_TSAN=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tools/tsan.supp" \
    ctest_all_run --test-dir "$builds/tsan" --output-on-failure -j "$jobs" -LE 'window|differential' \
    -E '^ErrorTest\.DivisionByZeroIsFatal$' --no-tests=error
}

short_soak() {
  [ -f "$builds/ci/CMakeCache.txt" ] || { echo "no CI build to soak"; return 1; }
  VOST_SOAK_BUILD="$builds/ci" VOST_SOAK_CLASSES=2 VOST_JOBS="$jobs" \
    bash "$root/scripts/soak.sh" 2000
}

fuzz_smoke() { bash "$root/scripts/fuzz-smoke.sh" "$builds/fuzz"; }

browser_tests() {
  [ -x "$builds/ci/tools/soak/screen_after_keys" ] || { echo "no CI build to compare with"; return 1; }
  [ -x "$builds/ci/tools/numbers/number_corpus" ] || { echo "no CI build to compare with"; return 1; }
  # Debian's emscripten finds its node modules there (build-web.sh sets it for its own build).
  export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
  VOST_WEB_BUILD_DIR="$builds/web" VOST_JOBS=$jobs VOST_WERROR=ON \
    bash "$root/scripts/build-web.sh" "$builds/web-site"
  cmake --build "$builds/web" -j "$jobs"
  ctest_all_run --test-dir "$builds/web" --output-on-failure -j "$jobs" -L node --no-tests=error
  bash "$root/scripts/number-differential.sh" "$builds/ci" "$builds/web"
  python3 "$root/tests/web/page_test.py" "$builds/web-site" "$builds/ci/tools/soak/screen_after_keys"
}

step "Packages"
bash "$root/scripts/install-deps.sh" test || exit 1

run_step "Layers: no upward include" bash "$root/scripts/check-layers.sh"
run_step "Formatting: clang-format 14" bash "$root/scripts/check-format.sh"
run_step "Build (warnings as errors) and all tests" all_tests
run_step "Soak: 2 000 puzzles of display class 2" short_soak
run_step "Debian package and its checks" package_checks
run_step "Reproducible package: a second build, byte for byte the same" reproducible_package
run_step "AddressSanitizer + UndefinedBehaviorSanitizer: unit and program tests" \
  address_sanitizer_tests
run_step "ThreadSanitizer: unit and program tests" thread_sanitizer_tests
run_step "Fuzz smoke run" fuzz_smoke
run_step "Browser: unit tests under node, its numbers against the desktop's, the page in headless Chromium" \
  browser_tests

if [ ${#failed[@]} -ne 0 ]; then
  printf '\nFAILED steps:\n'
  printf '  %s\n' "${failed[@]}"
  exit 1
fi
printf '\nAll test steps passed.\n'
