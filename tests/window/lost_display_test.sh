# Losing the X server under the game ends it with status 1 and one clear line on standard error.
# The game runs on an X server of the test's own, which the test then kills.
. "$(dirname "$0")/lib.sh"

fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x600x24 -noreset -nolisten tcp 3>"$fd_file" 2>/dev/null &
server=$!
for _ in $(seq 200); do [ -s "$fd_file" ] && break; sleep 0.02; done
display=:$(cat "$fd_file")
rm -f "$fd_file"
[ "$display" != ":" ] || fail "Xvfb did not start"

DISPLAY=$display start_game
GAME_WINDOW=$(DISPLAY=$display "$VOST_X11_TOOLS/x11_find_window" --pid "$GAME_PID" \
  --name Vostrandelimerix --timeout 20) || { kill "$server"; fail "no window"; }
kill -9 "$server"
wait_game_exit 10
[ "$GAME_STATUS" -eq 1 ] || fail "the game ended with status $GAME_STATUS, not 1"
grep -q "lost the connection to the X display" "$GAME_LOG" || fail "no message on standard error"
! grep -q "MIT-SHM" "$GAME_LOG" || fail "misleading MIT-SHM message"
echo "PASS"
