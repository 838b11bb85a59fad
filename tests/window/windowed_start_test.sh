# --windowed: the game opens in a window, wholly on the screen, and stays there when the program
# asks for full screen at start; choosing a display class keeps it windowed; Alt+Enter still
# switches to full screen.
. "$(dirname "$0")/lib.sh"

read -r screen_w screen_h < <(
  xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
[ -n "${screen_h:-}" ] || fail "cannot read the screen size"

window_size() { "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" | awk '{ print $3, $4 }'; }

# Fails when the window covers the screen at any moment during the given milliseconds.
expect_windowed_for() {
  local deadline=$(($(ms_now) + $2)) width height
  while [ "$(ms_now)" -le "$deadline" ]; do
    read -r width height < <(window_size)
    [ -n "${height:-}" ] || fail "$1: cannot read the window's size"
    if [ "$width" -ge "$screen_w" ] || [ "$height" -ge "$screen_h" ]; then
      fail "$1: the window is ${width}x$height on a ${screen_w}x$screen_h screen"
    fi
    sleep 0.05
  done
}

start_game --windowed
# The program names its window and asks for full screen right after; a full-screen switch
# would show within a few frames.
find_game_window Vostrandelimerix
expect_windowed_for "menu" 1500
# Without a window manager the game places the window itself; with one, the window manager does.
read -r x y width height < <("$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW")
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + width)) -le "$screen_w" ] &&
  [ $((y + height)) -le "$screen_h" ] ||
  fail "the window's client area ${width}x$height+$x+$y leaves the ${screen_w}x$screen_h screen"

xdotool key --window "$GAME_WINDOW" 1 || fail "xdotool could not send a key"
expect_windowed_for "board" 1000

xdotool windowfocus --sync "$GAME_WINDOW" && xdotool key alt+Return || fail "xdotool failed"
deadline=$(($(ms_now) + 5000))
until [ "$(window_size)" = "$screen_w $screen_h" ]; do
  [ "$(ms_now)" -gt "$deadline" ] && fail "Alt+Enter: the window is $(window_size), not full screen"
  sleep 0.05
done

xdotool key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS"
echo "PASS: started windowed, stayed windowed, Alt+Enter went full screen"
