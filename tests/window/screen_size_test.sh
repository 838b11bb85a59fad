# The screen changes size under the running game (xrandr), and the game follows in every
# presentation: full screen covers the new screen from its top-left corner, a window stays on it,
# and the largest size the window asks window managers for is the new screen's. Xvfb's own screen
# cannot change size, so the game runs on a resizeable Xephyr nested in the test's Xvfb (with
# openbox inside it in the window-manager pass; none outside, which would fit Xephyr's window, and
# so its screen, into its own frame).
WINDOW_MANAGER_LATER=1
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"

start_x_server Xephyr -resizeable -screen 1280x800 -noreset -ac

# "X Y WIDTH HEIGHT" of the window in root coordinates.
box() { "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW"; }
wait_box() {
  local deadline=$(($(ms_now) + 5000))
  until eval "$1"; do
    [ "$(ms_now)" -lt "$deadline" ] || fail "$2: the window is at $(box)"
    sleep 0.05
  done
}
screen_size() { xrandr -s "$1" || fail "xrandr could not set $1"; }
covers() { [ "$(box)" = "0 0 ${1/x/ }" ]; }
# The window lies on a screen of the given size: all of it, or under a window manager as much as
# it keeps there (openbox keeps the top-left corner on the screen).
on_screen() {
  box | awk -v w="${1%x*}" -v h="${1#*x}" -v wm="$(under_window_manager && echo 1)" '{
    exit !($1 >= 0 && $2 >= 0 && (wm ? $1 < w && $2 < h : $1 + $3 <= w && $2 + $4 <= h)) }'
}

start_game
find_game_window Vostrandelimerix
wait_box 'covers 1280x800' "full screen at the start"
wait_for menu_shown 20 || fail "the menu did not appear"
screen_size 1024x768
wait_box 'covers 1024x768' "full screen after the screen shrank to 1024x768"
screen_size 1600x1200
wait_box 'covers 1600x1200' "full screen after the screen grew to 1600x1200"
wait_for menu_shown 5 || fail "the picture does not fill the grown screen"
max_size=$(xprop -id "$GAME_WINDOW" WM_NORMAL_HINTS | awk '/maximum size:/ { print $(NF - 2) "x" $NF }')
[ "$max_size" = 1600x1200 ] || fail "the window's maximum size hint is '$max_size', not the screen's"

# Windowed, near the far corner of the large screen, then the screen shrinks.
xdotool windowactivate --sync "$GAME_WINDOW" 2>/dev/null || xdotool windowfocus --sync "$GAME_WINDOW"
xdotool key --delay 400 alt+Return alt+Return alt+Return alt+Return  # stretched, 3 more steps
wait_box '[ "$(box | cut -d" " -f3-)" = "320 200" ]' "windowed after Alt+Enter"
xdotool windowmove "$GAME_WINDOW" 1250 950 || fail "xdotool could not move the window"
wait_box '! on_screen 1024x768' "moved near the far corner"
screen_size 1024x768
wait_box 'on_screen 1024x768' "windowed after the screen shrank to 1024x768"

xdotool key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS: full screen and the window followed the screen's size"
