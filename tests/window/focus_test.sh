# Under a window manager: Alt+Tab to another window and back leaves every key working. Alt goes
# down in the game's window, but its release goes to the window manager that switches, so the game
# must let go of it when it loses the keyboard. The pointer stays outside the game's window (a
# pointer that leaves the window releases the modifiers too, and would hide the fault).
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"
under_window_manager || fail "this test needs a window manager (VOST_WINDOW_MANAGER=openbox)"

active_window() { xprop -root _NET_ACTIVE_WINDOW | awk '{ print $NF }'; }
same_window() { [ $(($1)) -eq $(($2)) ]; }
# Holds Alt, taps Tab and lets Alt go, as a player switches windows.
alt_tab() {
  xdotool keydown alt && sleep 0.2 && xdotool key Tab && sleep 0.2 && xdotool keyup alt ||
    fail "xdotool could not switch windows"
  sleep 0.5
}

/usr/bin/xmessage -geometry +0+0 "another window" 2>/dev/null &
HELPER_PIDS+=($!)
start_game --windowed
find_game_window Vostrandelimerix
wait_for menu_shown 20 || fail "the menu did not appear"
xdotool mousemove 1270 790 || fail "xdotool could not move the pointer"
xdotool windowactivate --sync "$GAME_WINDOW" || fail "cannot activate the game's window"
xdotool key 1
wait_for board_ready 10 || fail "no board after choosing class 1"

alt_tab
same_window "$(active_window)" "$GAME_WINDOW" && fail "Alt+Tab did not leave the game's window"
alt_tab
same_window "$(active_window)" "$GAME_WINDOW" || fail "Alt+Tab did not come back to the game"

# Keys work: the king goes to a1 (column 1, row 8), and Esc ends the game.
xdotool key --delay 60 1 a 1
wait_for '[ "$(pieces_on_board)" = "1 1 8" ]' 5 || fail "no king on a1 after Alt+Tab and back"
xdotool key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS: keys work after Alt+Tab away and back"
