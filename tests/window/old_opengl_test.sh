# An OpenGL older than the game needs (here 1.0) ends the game with status 1 and a line on
# standard error, shown in a dialog too (there is no terminal), without running on with a black
# window.
. "$(dirname "$0")/lib.sh"
EXPECTED_DIALOGS=1

MESA_GL_VERSION_OVERRIDE=1.0 start_game
wait_game_exit 20
[ "$GAME_STATUS" -eq 1 ] || fail "the game ended with status $GAME_STATUS, not 1"
grep -q "cannot use OpenGL" "$GAME_LOG" || fail "no message on standard error"
dialog_texts | grep -q ' | OK:1 | cannot use OpenGL' || fail "no dialog saying why: $(dialog_texts)"
echo "PASS"
