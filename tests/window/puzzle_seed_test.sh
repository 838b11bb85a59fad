# Puzzles a player can pass on: the same --seed shows the same board, another seed another one;
# the title names the puzzle, and --puzzle with that code shows the same board again.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"

# Starts the game with the options, chooses class 1 and leaves the board's signature in
# $signature and the window's title in $title; then ends the game with Esc.
board_of() {
  start_game --windowed "$@"
  find_game_window Vostrandelimerix
  wait_for menu_shown 20 || fail "$*: the menu did not appear"
  press_keys 1
  wait_for board_ready 10 || fail "$*: no board with counts"
  signature=$(squares_signature)
  title=$(xprop -id "$GAME_WINDOW" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_]*) = "\(.*\)"$/\1/p')
  press_final_key Escape
  wait_game_exit 10
  [ "$GAME_STATUS" -eq 0 ] || fail "$*: the game ended with status $GAME_STATUS after Esc"
}

board_of --seed=1234
first=$signature
code=${title#Vostrandelimerix - puzzle }
[[ "$title" =~ ^Vostrandelimerix\ -\ puzzle\ [34679ACEFGHJKMNPRTWXY]{6}$ ]] ||
  fail "--seed=1234: the title is '$title'"

board_of --seed=1234
[ "$signature" = "$first" ] || fail "the same seed showed another board"
[ "$title" = "Vostrandelimerix - puzzle $code" ] || fail "the same seed named another puzzle: '$title'"

board_of --seed=4321
[ "$signature" != "$first" ] || fail "seeds 1234 and 4321 showed the same board"
[ "$title" != "Vostrandelimerix - puzzle $code" ] || fail "seeds 1234 and 4321 have one code"

board_of "--puzzle=$code"
[ "$signature" = "$first" ] || fail "--puzzle=$code did not show the puzzle of that code"
[ "$title" = "Vostrandelimerix - puzzle $code" ] || fail "--puzzle=$code: the title is '$title'"
echo "PASS: seed 1234 twice alike, 4321 different, code $code replayed"
