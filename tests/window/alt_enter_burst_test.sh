# A burst of Alt+Enter cannot stick the presentation: afterwards every Alt+Enter still steps from
# one presentation to the next, and the window's size follows.
. "$(dirname "$0")/lib.sh"

geometry() { xdotool getwindowgeometry "$GAME_WINDOW" | awk '/Geometry:/ { print $2 }'; }
# Waits until the window's size satisfies a test ("= SIZE" or "!= SIZE").
wait_size() {
  local deadline=$(($(ms_now) + 5000))
  until [ "$(geometry)" "$1" "$2" ]; do
    [ "$(ms_now)" -gt "$deadline" ] && fail "window is $(geometry), expected $1 $2 ($3)"
    sleep 0.05
  done
}

start_game
find_game_window Vostrandelimerix
full=$(xdpyinfo | awk '/dimensions:/ { print $2 }')
wait_size = "$full" "full screen at start"
xdotool windowfocus --sync "$GAME_WINDOW" || fail "xdotool failed"

for burst in 1 2 3; do
  xdotool key --delay 1 --repeat $((97 + burst)) alt+Return
  sleep 1
  # Whatever presentation the burst left, stepping on must reach a window and then full screen.
  for step in 1 2 3 4 5; do
    [ "$(geometry)" != "$full" ] && break
    xdotool key alt+Return
    sleep 0.3
  done
  wait_size != "$full" "windowed after burst $burst"
  xdotool key alt+Return
  wait_size = "$full" "full screen again after burst $burst"
done

xdotool key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "exit status $GAME_STATUS"
echo "PASS"
