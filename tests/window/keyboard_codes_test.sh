# Keys typed into the real window reach the program's key function with the codes a classic PC
# keyboard delivers: characters as one byte, cursor and function keys as a zero byte and a scan
# code, Ctrl and Alt combinations as their table says, and combinations without a code not at all.
. "$(dirname "$0")/lib.sh"
VOST_GAME="${VOST_PRESENT_DEMO:-$PWD/tools/present_demo/present_demo}"
[ -x "$VOST_GAME" ] || fail "present_demo must be built"

VOST_PRESENT_DEMO_SCENE=keys start_game
find_game_window "present demo"
# Real key events (XTEST) need the focus; they carry the modifier keys' own presses and releases.
focus_game_window
sleep 0.3
xdotool key --delay 60 1 a shift+a Escape Up F1 ctrl+F1 ctrl+a alt+a alt+Escape ctrl+1 \
  ctrl+3 ctrl+2 ctrl+8 ctrl+BackSpace ctrl+bracketleft ctrl+Return \
  Return BackSpace q 2>/dev/null || fail "xdotool could not type"
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the program ended with status $GAME_STATUS"

# 1, a, A, Esc, Up (0 48h), F1 (0 3Bh), Ctrl+F1 (0 5Eh), Ctrl+A (1), Alt+A (0 1Eh); Alt+Esc,
# Ctrl+1, Ctrl+3 and Ctrl+8 give nothing (X's own translation makes Ctrl+3 the escape character
# and Ctrl+8 the delete character); Ctrl+2 (0 3), Ctrl+Backspace (127), Ctrl+[ (27), Ctrl+Enter
# (10); Enter, Backspace, q.
expected="49
97
65
27
0 72
0 59
0 94
1
0 30
0 3
127
27
10
13
8
113"
actual=$(grep -E '^[0-9]+( [0-9]+)?$' "$GAME_LOG")
if [ "$actual" != "$expected" ]; then
  echo "expected:"; echo "$expected"; echo "actual:"; echo "$actual"
  fail "the program received other key codes"
fi
echo "PASS"
