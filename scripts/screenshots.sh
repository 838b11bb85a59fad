#!/usr/bin/env bash
# Takes the README's and the AppStream metadata's screenshots as a player sees the game: on a
# 1920 x 1080 desktop with the openbox window manager, a window with its frame and title, twice
# the picture's size, for each display class; and the full screen with --scale=sharp
# --aspect=4:3. Every game runs with --seed=1234, so the boards are the same each time.
#
#   scripts/screenshots.sh [BUILD_DIR]     (default build/dev; the game and the x11 tools, built
#                                           with PNG support)
#
# Writes docs/screenshots/class1.png, class2.png, class3.png and sharp-4x3.png. Needs xvfb-run,
# openbox, xdotool and xwininfo (the test packages).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
game=$build/vostrandelimerix
tools=$build/tools/x11
out=$root/docs/screenshots
[ -x "$game" ] && [ -x "$tools/x11_capture_window" ] || {
  echo "screenshots: build the game and tools/x11 in $build first" >&2
  exit 1
}

if [ -z "${VOST_SCREENSHOTS_INNER:-}" ]; then
  VOST_SCREENSHOTS_INNER=1 exec xvfb-run -a -s '-screen 0 1920x1080x24 -noreset' bash "$0" "$build"
fi

openbox --sm-disable >/dev/null 2>&1 </dev/null &
window_manager=$!
trap 'kill "$window_manager" 2>/dev/null' EXIT
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done

# The window's top-level ancestor: the window manager's frame around it.
frame_of() {
  local window=$1 parent root
  root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
  while parent=$(xwininfo -children -id "$window" | awk '/Parent window id:/ { print $4 }') &&
    [ "$parent" != "$root" ]; do
    window=$parent
  done
  echo "$window"
}

# Starts the game with the options, chooses the class, lets the board settle and saves the
# picture of the given window (frame or client) as the file.
shoot() {
  local file=$1 what=$2 class=$3 pid window
  shift 3
  setsid "$game" --seed=1234 "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  window=$("$tools/x11_find_window" --pid "$pid" --name Vostrandelimerix --timeout 20)
  sleep 2
  xdotool windowfocus --sync "$window" key "$class"
  sleep 2
  [ "$what" = frame ] && window=$(frame_of "$window")
  "$tools/x11_capture_window" "$window" "$out/$file" >/dev/null
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "screenshots: $out/$file"
}

for class in 1 2 3; do shoot "class$class.png" frame "$class" --windowed --window-scale=2; done
shoot sharp-4x3.png window 2 --scale=sharp --aspect=4:3
