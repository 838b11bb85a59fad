#!/usr/bin/env bash
# Builds the game (installing missing Debian packages first) and starts it.
#
#   scripts/play.sh
#
# Needs an X11 display (DISPLAY). The build lives in build/game.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/game"

bash "$root/scripts/install-deps.sh" play
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DVOST_WINDOW=ON >/dev/null
cmake --build "$build" --target vostrandelimerix

if [ -z "${DISPLAY:-}" ]; then
  echo "No X11 display (DISPLAY is not set): built $build/vostrandelimerix but cannot start it." >&2
  exit 1
fi
exec "$build/vostrandelimerix" "$@"
