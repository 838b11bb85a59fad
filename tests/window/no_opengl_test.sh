# On a display without OpenGL the game opens no window and ends with status 1, saying why in one
# line of its own; without a terminal (as here) it also shows that in a dialog.
. "$(dirname "$0")/lib.sh"
EXPECTED_DIALOGS=1

# A display of our own, without the GLX extension.
bash "$(dirname "$0")/with_xvfb.sh" -screen 0 640x480x24 -extension GLX -- bash -c '
  "$1" </dev/null >"$2" 2>&1 &
  pid=$!
  windows=0
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$("$3/x11_find_window" --pid "$pid" --timeout 0)" != "" ]; then windows=1; fi
  done
  wait "$pid"
  status=$?
  [ "$windows" -eq 0 ] || exit 100
  exit "$status"
' _ "$VOST_GAME" "$GAME_LOG" "$VOST_X11_TOOLS" &
runner=$!
GAME_PID=$runner
wait_game_exit 20
[ "$GAME_STATUS" -ne 100 ] || fail "a window appeared on a display without OpenGL"
[ "$GAME_STATUS" -eq 1 ] || fail "the game ended with status $GAME_STATUS, not 1"
[ "$(grep -c '^vostrandelimerix: .' "$GAME_LOG")" -eq 1 ] || fail "not one line saying why"
dialog_texts | grep -q ' | OK:1 | .*GLX' || fail "no dialog saying why: $(dialog_texts)"
echo "PASS: no window, status 1"
