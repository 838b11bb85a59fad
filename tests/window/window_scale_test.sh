# --window-scale under a window manager: the window takes the largest whole multiple of the frame
# whose client area and the window manager's frame around it both fit the work area, and the
# framed window lies wholly in it (a client area as large as the work area would have its bottom
# rows under the screen's edge, pushed down by the title bar), also after full screen.
. "$(dirname "$0")/lib.sh"
under_window_manager || fail "this test needs a window manager (VOST_WINDOW_MANAGER=openbox)"

read -r area_x area_y area_w area_h < <(
  xprop -root _NET_WORKAREA | awk -F' = ' '{ gsub(/,/, ""); split($2, a, " "); print a[1], a[2], a[3], a[4] }')
[ -n "${area_h:-}" ] || fail "the window manager gives no work area"

start_game --windowed --window-scale=16
find_game_window Vostrandelimerix
wait_game_window_mapped

# The frame around the window: left, right, top, bottom.
frame_extents() {
  xprop -id "$GAME_WINDOW" _NET_FRAME_EXTENTS | awk -F' = ' '/=/ { gsub(/,/, ""); print $2 }'
}

n=0
deadline=$(($(ms_now) + 10000))
while :; do
  read -r left right top bottom < <(frame_extents)
  read -r x y w h < <("$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW")
  if [ -n "${bottom:-}" ] && [ -n "${h:-}" ]; then
    # The menu's frame is 320 x 200; the largest multiple of it that fits with the frame.
    n=16
    while [ "$n" -gt 1 ] && { [ $((n * 320 + left + right)) -gt "$area_w" ] ||
      [ $((n * 200 + top + bottom)) -gt "$area_h" ]; }; do n=$((n - 1)); done
    [ "$w" -eq $((n * 320)) ] && [ "$h" -eq $((n * 200)) ] && break
  fi
  [ "$(ms_now)" -lt "$deadline" ] ||
    fail "the window is ${w:-?}x${h:-?} in a frame of ${left:-?},${right:-?},${top:-?},${bottom:-?}, not $((n * 320))x$((n * 200))"
  sleep 0.1
done
# The window keeps that size and place.
read -r x y w h < <("$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW")
[ $((x - left)) -ge "$area_x" ] && [ $((y - top)) -ge "$area_y" ] &&
  [ $((x + w + right)) -le $((area_x + area_w)) ] &&
  [ $((y + h + bottom)) -le $((area_y + area_h)) ] ||
  fail "the framed window $((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top)) leaves the work area ${area_w}x$area_h+$area_x+$area_y"

# Full screen has no frame, and the window that leaves it gets its frame back: once it has its
# size again, nothing asks for the size that fits without a frame. Every size the window takes is
# in the ConfigureNotify events xev reports; five Alt+Enter go round the presentations once.
focus_game_window
for _ in 1 2 3 4; do xdotool key alt+Return && sleep 0.4 || fail "xdotool failed"; done
configure_log=$(mktemp)
xev -id "$GAME_WINDOW" -event structure >"$configure_log" 2>&1 &
HELPER_PIDS+=($!)
sleep 0.2
xdotool key alt+Return || fail "xdotool failed"
sleep 1.5
kill "${HELPER_PIDS[-1]}"
sizes=$(grep -o 'width [0-9]*, height [0-9]*' "$configure_log" | awk '{ print $2 "x" $4 }' | tr -d ,)
rm -f "$configure_log"
awk -v want="$((n * 320))x$((n * 200))" '
  $0 == want { reached = 1 } reached && $0 != want { bad = 1 } END { exit !(reached && !bad) }' \
  <<<"$sizes" || fail "leaving full screen, the window took the sizes $(tr "\n" " " <<<"$sizes"), not $((n * 320))x$((n * 200)) for good"

press_final_key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS"
echo "PASS: ${w}x$h at $x,$y in a frame of $left,$right,$top,$bottom, within the work area"
