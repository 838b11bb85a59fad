# Under a window manager, what the window manager does to the window is followed: taken out of full
# screen it becomes the window of the frame's size and the next Alt+Enter goes full screen again;
# put into full screen it shows the picture stretched and four Alt+Enter lead back to the window;
# maximized, it snaps back to the frame's size and is no longer maximized.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"
under_window_manager || fail "this test needs a window manager (VOST_WINDOW_MANAGER=openbox)"

full=$(xdpyinfo | awk '/dimensions:/ { print $2 }')
frame=320x200  # the menu: 40 x 25 text cells of 8 x 8 pixels
size() { "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" | awk '{ print $3 "x" $4 }'; }
wait_size() {
  local deadline=$(($(ms_now) + 5000))
  until [ "$(size)" = "$1" ]; do
    [ "$(ms_now)" -lt "$deadline" ] || fail "$2: the window is $(size), not $1"
    sleep 0.05
  done
}
alt_enter() {
  local i
  for i in $(seq "$1"); do xdotool key alt+Return && sleep 0.4 || fail "xdotool failed"; done
}
window_manager() { wmctrl -i -r "$GAME_WINDOW" -b "$1" || fail "wmctrl -b $1 failed"; }

start_game
find_game_window Vostrandelimerix
wait_size "$full" "full screen at the start"
wait_for menu_shown 20 || fail "the menu did not appear"
xdotool windowactivate --sync "$GAME_WINDOW" || fail "cannot activate the game's window"

window_manager remove,fullscreen
wait_size "$frame" "taken out of full screen by the window manager"
alt_enter 1
wait_size "$full" "one Alt+Enter after the window manager left full screen"
alt_enter 4
wait_size "$frame" "four more Alt+Enter"

window_manager add,fullscreen
wait_size "$full" "put into full screen by the window manager"
wait_for menu_shown 5 || fail "the picture does not fill the screen the window manager gave"
alt_enter 4
wait_size "$frame" "four Alt+Enter after the window manager entered full screen"

window_manager add,maximized_vert,maximized_horz
sleep 0.5
wait_size "$frame" "maximized by the window manager"
xprop -id "$GAME_WINDOW" _NET_WM_STATE | grep -q MAXIMIZED && fail "the window stays maximized"
wait_for menu_shown 5 || fail "the menu is not shown after the maximize"

xdotool key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS: maximize and the window manager's full-screen changes followed"
