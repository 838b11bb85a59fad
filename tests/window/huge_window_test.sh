# Another client resizing the window to the largest X size does not bring the game down: the
# window is shrunk back within the desktop and the game goes on.
. "$(dirname "$0")/lib.sh"

start_game
find_game_window Vostrandelimerix
read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
for size in "32767 32767" "16384 300" "300 20000"; do
  xdotool windowsize "$GAME_WINDOW" $size || fail "xdotool failed"
  sleep 1
  kill -0 "$GAME_PID" 2>/dev/null || { wait_game_exit 1; fail "the game died (status $GAME_STATUS)"; }
  read -r w h < <(xdotool getwindowgeometry "$GAME_WINDOW" | awk '/Geometry:/ { split($2, d, "x"); print d[1], d[2] }')
  [ "$w" -le "$screen_w" ] && [ "$h" -le "$screen_h" ] || fail "window stays ${w}x$h after $size"
done
xdotool windowfocus --sync "$GAME_WINDOW" && xdotool key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "exit status $GAME_STATUS"
echo "PASS"
