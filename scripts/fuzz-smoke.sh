#!/usr/bin/env bash
# Builds every fuzz/*_fuzz.cpp target with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs each one briefly over its seed corpus in
# fuzz/corpus/<target>/. New inputs go to a temporary directory, never into the repository.
# Exits non-zero when any target finds a crash, a leak, a timeout or undefined behaviour.
#
#   scripts/fuzz-smoke.sh [build-dir]      (default: build-fuzz in the repository)
#   FUZZ_SECONDS=20   run time per target
#   FUZZ_RUNS=N       stop each target after N executions instead (overrides nothing else)
#   FUZZ_JOBS=2       parallel compile jobs
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${FUZZ_BUILD_DIR:-$root/build-fuzz}}
seconds=${FUZZ_SECONDS:-20}
jobs=${FUZZ_JOBS:-2}

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi

targets=()
for source in "$root"/fuzz/*_fuzz.cpp; do
  [ -e "$source" ] || continue
  targets+=("$(basename "$source" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz-smoke: no fuzz targets in $root/fuzz"
  exit 0
fi

# The runtime library is instrumented for coverage too (fuzzer-no-link), so that libFuzzer is
# guided by the parser's branches and not only by the target's own few lines.
cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DVOST_FUZZ=ON -DVOST_SANITIZE=ON -DVOST_WINDOW=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

failed=()
for target in "${targets[@]}"; do
  new_inputs="$scratch/$target"
  mkdir -p "$new_inputs"
  corpus=()
  if [ -d "$root/fuzz/corpus/$target" ]; then corpus=("$root/fuzz/corpus/$target"); fi
  limit=(-max_total_time="$seconds")
  if [ -n "${FUZZ_RUNS:-}" ]; then limit=(-runs="$FUZZ_RUNS"); fi
  echo "fuzz-smoke: $target (${limit[*]})"
  if ! "$build/$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$new_inputs" "${corpus[@]}" \
      >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    failed+=("$target")
  else
    grep -E '^stat::number_of_executed_units' "$scratch/$target.log" | sed "s/^/  /" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz-smoke: findings in: ${failed[*]} (inputs under $artifacts)"
  exit 1
fi
echo "fuzz-smoke: ${#targets[@]} targets clean"
