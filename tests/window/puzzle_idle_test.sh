# The game waiting for a key costs little: in the menu and at the piece prompt of a puzzle, with
# the window open, the whole process stays under 2% of one core. Also reports how long the menu
# takes to appear after the start.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"

ticks() { awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat"; }

# Percent of one core the whole process uses over the given seconds.
idle_percent() {
  local hz before after
  hz=$(getconf CLK_TCK)
  before=$(ticks)
  sleep "$1"
  after=$(ticks)
  awk -v t=$((after - before)) -v hz="$hz" -v s="$1" 'BEGIN { printf "%.2f", t * 100 / (hz * s) }'
}

started=$(ms_now)
start_game
find_game_window Vostrandelimerix
wait_for menu_shown 20 || fail "the menu did not appear"
menu_ms=$(($(ms_now) - started))
sleep 2  # full-screen switch and first frames
menu_percent=$(idle_percent 10)

press_keys 1
wait_for board_ready 10 || fail "no board after choosing class 1"
sleep 2
puzzle_percent=$(idle_percent 10)

echo "menu visible ${menu_ms} ms after the start (capture polling, ~0.3 s resolution)"
echo "idle over 10 s, whole process: menu ${menu_percent}%, piece prompt ${puzzle_percent}% of one core"
awk -v m="$menu_percent" -v p="$puzzle_percent" 'BEGIN { exit !(m < 2.0 && p < 2.0) }' ||
  fail "the idle game uses 2% of a core or more"

press_keys Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS"
