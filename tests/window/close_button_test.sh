# The close button ends the game in order: the window receives WM_DELETE_WINDOW while the program
# waits for a key; the process ends with status 0 within a few main-loop passes, and the window is
# not torn down by the toolkit before that.
. "$(dirname "$0")/lib.sh"

start_game
# The title is set by the program after its first statement has waited for the window, so seeing
# it means the program thread is running.
find_game_window Vostrandelimerix

sent=$(ms_now)
# A window manager sends the request itself when asked to close the window.
if under_window_manager; then
  wmctrl -i -c "$GAME_WINDOW" || fail "wmctrl could not close the window"
else
  "$VOST_X11_TOOLS/x11_close_window" "$GAME_WINDOW" || fail "could not send the close request"
fi
wait_game_exit 5
ended=$(ms_now)

[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS, not 0"
# One main-loop pass (16 ms) plus the statement check and the 16 ms shutdown poll; allow for a
# busy machine but not for a stuck handshake.
[ $((ended - sent)) -lt 2000 ] || fail "the game took $((ended - sent)) ms to end"
echo "PASS: closed with status 0 after $((ended - sent)) ms"
