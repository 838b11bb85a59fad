# Two monitors side by side on one screen, without a window manager: full screen covers the
# monitor the window is on (the primary one at the start), not the whole screen across both, and
# --window-scale=auto measures that monitor. The screen is an Xvfb of the test's own with RandR
# monitors set by xrandr.
WINDOW_MANAGER_LATER=1
. "$(dirname "$0")/lib.sh"

start_x_server Xvfb -screen 0 3200x1080x24 -noreset -nolisten tcp
xrandr --setmonitor left 1024/271x768/203+0+0 screen >/dev/null &&
  xrandr --setmonitor right 2176/576x1080/286+1024+0 none >/dev/null || fail "xrandr --setmonitor failed"

box() { "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" 2>/dev/null; }
wait_box() {
  local deadline=$(($(ms_now) + 5000))
  until [ "$(box)" = "$1" ]; do
    [ "$(ms_now)" -lt "$deadline" ] || fail "$2: the window is at '$(box)', not '$1'"
    sleep 0.05
  done
}

start_game
find_game_window Vostrandelimerix
wait_box "0 0 1024 768" "full screen"
press_final_key Escape
wait_game_exit 10
[ "$GAME_STATUS" = 0 ] || fail "exit status $GAME_STATUS"

# 85% of the 1024 x 768 monitor holds the 320 x 200 picture twice; of the whole screen, four times.
start_game --windowed --window-scale=auto
find_game_window Vostrandelimerix
xdotool key --window "$GAME_WINDOW" 2  # a 320 x 200 board
wait_box "0 0 640 400" "windowed, scaled to fit the monitor"
press_final_key Escape
wait_game_exit 10
[ "$GAME_STATUS" = 0 ] || fail "exit status $GAME_STATUS"
echo "PASS"
