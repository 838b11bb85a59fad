#!/usr/bin/env bash
# Builds the game for the browser and puts the static site in OUTDIR.
#
#   scripts/build-web.sh OUTDIR
#
# The same CMake project, configured with emscripten's emcmake (Debian's emscripten package), in
# build-web/ (or the folder VOST_WEB_BUILD_DIR names); it builds the site and the unit tests for
# node. OUTDIR then holds index.html and everything it loads, nothing else: serve it with
# scripts/serve-web.py OUTDIR, or from any static host (README, "Play in a browser").
# VOST_JOBS sets the parallelism (default: the number of cores).
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
build=${VOST_WEB_BUILD_DIR:-$root/build-web}
jobs=${VOST_JOBS:-$(nproc)}

if ! command -v emcmake >/dev/null; then
  echo "build-web: emcmake not found (scripts/install-deps.sh test installs emscripten)" >&2
  exit 1
fi
# Debian's emscripten finds its node modules there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

emcmake cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVOST_WERROR="${VOST_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j "$jobs" --target vostrandelimerix

mkdir -p "$out"
site=(index.html web_page.js web_isolation.js manifest.webmanifest icon.png icon-192.png icon-512.png
  vostrandelimerix.js vostrandelimerix.wasm vostrandelimerix.worker.js)
for file in "${site[@]}"; do
  cp "$build/site/$file" "$out/$file"
done
echo "build-web: the site is in $out (${site[*]})"
