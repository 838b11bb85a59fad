# The window is created before the program names it; the title the program sets afterwards
# reaches the window (applied by the window thread) and stays there.
. "$(dirname "$0")/lib.sh"

start_game
find_game_window
first_window=$GAME_WINDOW
find_game_window Vostrandelimerix
[ "$GAME_WINDOW" = "$first_window" ] || fail "the title appeared on another window"

title=$(xprop -id "$GAME_WINDOW" WM_NAME 2>/dev/null)
[ "$title" = 'WM_NAME(STRING) = "Vostrandelimerix"' ] || fail "unexpected title property: $title"

# A key ends the spine program through its end statement: status 0.
press_final_key Escape
wait_game_exit 5
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after a key"
echo "PASS: title shown, key ended the game with status 0"
