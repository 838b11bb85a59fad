# The game waiting for a key costs little: in the menu and at the piece prompt of a puzzle, with
# the window open, the whole process stays under 2% of one core and the program thread's key loop
# under 1.5% (a loop waking
# every millisecond costs about 2.6% on the shared test machines, a busy loop 100%). Prints the
# whole process's figure and each thread's beside it, and how long the menu takes to appear
# after the start.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"

# Processor ticks of the process and of each of its threads: "TASK TICKS" lines, "all" first.
ticks() {
  echo "all $(awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat")"
  for task in /proc/"$GAME_PID"/task/*; do
    echo "$(basename "$task") $(awk '{ print $14 + $15 }' "$task/stat")"
  done
}

# Measures over the given seconds; prints "TASK PERCENT" lines (percent of one core).
idle_percent() {
  local hz
  hz=$(getconf CLK_TCK)
  ticks >"$WORK_DIR/before"
  sleep "$1"
  ticks >"$WORK_DIR/after"
  awk -v hz="$hz" -v s="$1" 'NR == FNR { before[$1] = $2; next }
    ($1 in before) { printf "%s %.2f\n", $1, ($2 - before[$1]) * 100 / (hz * s) }' \
    "$WORK_DIR/before" "$WORK_DIR/after"
}

# The program thread is the first thread the process starts (the window thread is the process).
program_thread() { ls /proc/"$GAME_PID"/task | sort -n | grep -v "^$GAME_PID\$" | head -n 1; }
share_of() { awk -v task="$1" '$1 == task { print $2 }' "$2"; }

# Quick look for the menu: the page rows of text row 2 hold something lit from column 6 on.
menu_lit() {
  "$VOST_X11_TOOLS/x11_capture_window" "$GAME_WINDOW" "$WORK_DIR/quick.ppm" >/dev/null || return 1
  perl -e '
    open(my $in, "<:raw", $ARGV[0]) or die;
    local $/ = "\n";
    my $magic = <$in>; my $size = <$in>; my $max = <$in>;
    my ($w, $h) = split(" ", $size);
    my $start = tell($in);
    for my $py (8 .. 15) {
      seek($in, $start + int(($py + 0.5) * $h / 200) * $w * 3, 0);
      read($in, my $row, $w * 3);
      exit 0 if substr($row, int(40 * $w / 320) * 3, int(248 * $w / 320) * 3) =~ /[^\0]/;
    }
    exit 1;' "$WORK_DIR/quick.ppm"
}

started=$(ms_now)
start_game
find_game_window
deadline=$((started + 20000))
until menu_lit; do
  [ "$(ms_now)" -lt "$deadline" ] || fail "the menu did not appear"
  sleep 0.02
done
menu_ms=$(($(ms_now) - started))
find_game_window Vostrandelimerix
wait_for menu_shown 5 || fail "the menu is not the one expected"
sleep 2  # full-screen switch and first frames
program=$(program_thread)
idle_percent 10 >"$WORK_DIR/menu"

press_keys 1
wait_for board_ready 10 || fail "no board after choosing class 1"
sleep 2
idle_percent 10 >"$WORK_DIR/puzzle"

echo "menu visible ${menu_ms} ms after the start"
for phase in menu puzzle; do
  echo "idle over 10 s at the $phase: whole process $(share_of all "$WORK_DIR/$phase")%," \
    "program thread $(share_of "$program" "$WORK_DIR/$phase")% of one core; by thread:"
  grep -v '^all ' "$WORK_DIR/$phase" | sed 's/^/  /'
done
awk -v m="$(share_of "$program" "$WORK_DIR/menu")" -v p="$(share_of "$program" "$WORK_DIR/puzzle")" \
  'BEGIN { exit !(m < 1.5 && p < 1.5) }' || fail "the key loop uses 1.5% of a core or more while idle"
awk -v m="$(share_of all "$WORK_DIR/menu")" -v p="$(share_of all "$WORK_DIR/puzzle")" \
  'BEGIN { exit !(m < 2 && p < 2) }' || fail "the waiting game uses 2% of a core or more"

press_keys Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS"
