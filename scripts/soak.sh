#!/usr/bin/env bash
# Plays thousands of puzzles per display class through the real program, headless, and fails at
# the first surprise: a dialog, a hidden placement that breaks the spacing rule, a count that
# differs from the rules, a wrong verdict, memory that grows. Prints puzzles per second, peak
# resident memory, the count of each outcome and how many puzzles have counts that fit more than
# one placement. See tools/soak/soak.cpp.
#
#   scripts/soak.sh [PUZZLES_PER_CLASS]      (default 10000; the full run takes minutes)
#
#   VOST_SOAK_BUILD=DIR   build directory (default build/soak, a Release build of the program
#                         and the soak only); a directory that is already configured, such as
#                         the CI build, is reused as it is and only the soak target is built
#   VOST_SOAK_CLASSES=123 the display classes to play, as menu keys
#   VOST_SOAK_SEED=N      the seed of every choice (default: from the clock; the run prints it)
#
# Installs missing Debian packages first, as the play and test commands do.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
puzzles=${1:-10000}
build=${VOST_SOAK_BUILD:-$root/build/soak}
jobs=${VOST_JOBS:-$(nproc)}

bash "$root/scripts/install-deps.sh" play

if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DVOST_WINDOW=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --target soak -j "$jobs"

arguments=(--puzzles "$puzzles" --classes "${VOST_SOAK_CLASSES:-123}")
if [ -n "${VOST_SOAK_SEED:-}" ]; then arguments+=(--seed "$VOST_SOAK_SEED"); fi
exec "$build/tools/soak/soak" "${arguments[@]}"
