# A window manager killed while the X server runs on leaves its announcement on the root window
# (_NET_SUPPORTING_WM_CHECK) naming a window that no longer exists. The game started after that
# must not hang: it shows its window (and Escape ends it with status 0), or it ends with status 1
# and one line of its own (and its start-up failure dialog).
. "$(dirname "$0")/lib.sh"

start_window_manager
kill -9 "${HELPER_PIDS[-1]}"
wait "${HELPER_PIDS[-1]}" 2>/dev/null
check=$(xprop -root _NET_SUPPORTING_WM_CHECK | awk '/window id/ { print $NF }')
[ -n "$check" ] || fail "the killed window manager's announcement is not on the root window"
! xwininfo -id "$check" >/dev/null 2>&1 || fail "the killed window manager's window $check exists"

start_game --windowed
deadline=$(($(ms_now) + 20000))
while :; do
  if ! kill -0 "$GAME_PID" 2>/dev/null; then
    wait_game_exit 1
    EXPECTED_DIALOGS=1  # a start-up failure without a terminal is shown in a dialog as well
    [ "$GAME_STATUS" -eq 1 ] || fail "the game ended with status $GAME_STATUS without a window"
    [ "$(grep -c '^vostrandelimerix: ' "$GAME_LOG")" -eq 1 ] || fail "not one line of the game's own"
    echo "PASS: the game ended at once: $(grep '^vostrandelimerix: ' "$GAME_LOG")"
    exit 0
  fi
  GAME_WINDOW=$("$VOST_X11_TOOLS/x11_find_window" --pid "$GAME_PID" --timeout 0.1) && break
  [ "$(ms_now)" -lt "$deadline" ] || fail "the game neither showed its window nor ended in 20 s"
done

wait_game_window_mapped
# With no window manager at work the game places its window itself, wholly on the screen.
read -r x y _ < <("$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW")
[ "$x" -eq 0 ] && [ "$y" -eq 0 ] || fail "the window is at $x,$y, not where the game places it"
press_final_key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS"
echo "PASS: the game started as without a window manager and ended with Escape"
