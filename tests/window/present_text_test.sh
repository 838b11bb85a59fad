# A text page appears with its glyphs, and its text cursor blinks.
. "$(dirname "$0")/lib.sh"
VOST_GAME="${VOST_PRESENT_DEMO:-$PWD/tools/present_demo/present_demo}"
CHECK="$(dirname "$VOST_GAME")/present_check"
[ -x "$VOST_GAME" ] && [ -x "$CHECK" ] || fail "present_demo and present_check must be built"

VOST_PRESENT_DEMO_SCENE=text start_game
find_game_window "present demo"
sleep 0.5
"$CHECK" text "$GAME_WINDOW" || fail "text page or cursor wrong"
press_final_key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the demo ended with status $GAME_STATUS after Esc"
echo "PASS"
