# Under a tiling window manager (i3) the window gets its tile, never the size the frame asks for:
# the game asks for that size once, then keeps the tile and shows the picture in it as full screen
# with square pixels shows it (scaled, centred, black bars), with nothing left polling. Floated
# again, the window takes the frame's size back.
WINDOW_MANAGER_LATER=1
. "$(dirname "$0")/lib.sh"
VOST_GAME="${VOST_PRESENT_DEMO:-$PWD/tools/present_demo/present_demo}"
CHECK="$(dirname "$VOST_GAME")/present_check"
[ -x "$VOST_GAME" ] && [ -x "$CHECK" ] || fail "present_demo and present_check must be built"
command -v i3 >/dev/null || fail "i3 is not installed (scripts/install-deps.sh test installs it)"

# i3 with no borders and no bar: a lone window's tile is the whole screen.
config=$(mktemp)
printf '%s\n' 'default_border none' 'default_floating_border none' 'focus_follows_mouse no' >"$config"
i3 -c "$config" >/dev/null 2>&1 </dev/null &
I3_PID=$!
trap 'kill "$I3_PID" 2>/dev/null; rm -f "$config"' EXIT
deadline=$(($(ms_now) + 10000))
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  [ "$(ms_now)" -lt "$deadline" ] || fail "i3 did not start"
  sleep 0.05
done

# Processor time the game has used, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat"; }

VOST_PRESENT_DEMO_SCENE=graphics start_game
find_game_window "present demo"
wait_game_window_mapped
sleep 1.5  # the one request for the frame's size, refused, and its answer timeout
"$CHECK" graphics "$GAME_WINDOW" tile || fail "the picture does not fill the tile with square pixels"
before=$(cpu_ticks)
sleep 3
used=$(($(cpu_ticks) - before))
ticks=$(getconf CLK_TCK)
# Under 1% of a core over 3 s; a request loop took 65-70%.
[ "$used" -le $((3 * ticks / 100)) ] || fail "the game used $used ticks of $((3 * ticks)) in a tile"

# Floated, the window returns to the frame's size.
i3-msg -q "[id=$((GAME_WINDOW))] floating enable" || fail "i3-msg failed"
deadline=$(($(ms_now) + 5000))
until "$CHECK" graphics "$GAME_WINDOW" windowed 2>/dev/null; do
  [ "$(ms_now)" -lt "$deadline" ] || { "$CHECK" graphics "$GAME_WINDOW" windowed; fail "floated, the window did not take the frame's size"; }
  sleep 0.1
done

xdotool key --window "$GAME_WINDOW" Escape
wait_game_exit 10
[ "$GAME_STATUS" = 0 ] || fail "exit status $GAME_STATUS"
echo "PASS"
