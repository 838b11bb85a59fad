# Closing the window while the program changes the screen mode (at start, and when a display
# class is chosen) still ends the game promptly with status 0: the shutdown answers the
# program's pending request for the display lock. Whether a close lands inside the request is a
# matter of timing; host_tests' MainLoopTest.ThreadedShutdownAnswersAPendingDisplayLock forces
# it, this test covers the whole road several times.
. "$(dirname "$0")/lib.sh"

close_and_expect_prompt_end() {
  "$VOST_X11_TOOLS/x11_close_window" "$GAME_WINDOW" || fail "could not send the close request"
  wait_game_exit 5
  [ "$GAME_STATUS" -eq 0 ] || fail "$1: the game ended with status $GAME_STATUS, not 0"
}

# The close request arrives the moment the window appears, while the menu's mode is being set.
for run in $(seq 6); do
  start_game --windowed
  find_game_window
  close_and_expect_prompt_end "start $run"
done

# The close request follows the menu choice, while the board's mode is being set.
for key in 1 2 3; do
  start_game --windowed
  find_game_window Vostrandelimerix
  xdotool key --window "$GAME_WINDOW" "$key"
  close_and_expect_prompt_end "class $key"
done
echo "PASS"
