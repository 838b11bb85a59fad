# The game waiting for a key sleeps: in the menu and at the piece prompt of a puzzle, with the
# window open, the whole process wakes at most 20 times a second (counted as context switches of
# all its threads; a waiting game needs none, a loop polling every millisecond makes 1000) and
# uses at most 0.5% of one core. The bounds leave room for a loaded test machine. Prints the whole
# process's figures and each thread's beside them, and how long the menu takes to appear after the
# start.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/puzzle_play.sh"

# Processor ticks and context switches of each thread: "TASK TICKS SWITCHES" lines.
ticks() {
  for task in /proc/"$GAME_PID"/task/*; do
    echo "$(basename "$task") $(awk '{ print $14 + $15 }' "$task/stat")" \
      "$(awk '/ctxt_switches/ { n += $2 } END { print n }' "$task/status")"
  done
}

# Measures over the given seconds; prints "TASK PERCENT WAKEUPS_PER_SECOND" lines, "all" (the
# sum over the threads that lived throughout) first.
idle_percent() {
  local hz
  hz=$(getconf CLK_TCK)
  ticks >"$WORK_DIR/before"
  sleep "$1"
  ticks >"$WORK_DIR/after"
  awk -v hz="$hz" -v s="$1" 'NR == FNR { t[$1] = $2; w[$1] = $3; next }
    ($1 in t) { p = ($2 - t[$1]) * 100 / (hz * s); r = ($3 - w[$1]) / s
      line[++n] = sprintf("%s %.2f %.1f", $1, p, r); all_p += p; all_r += r }
    END { printf "all %.2f %.1f\n", all_p, all_r; for (i = 1; i <= n; ++i) print line[i] }' \
    "$WORK_DIR/before" "$WORK_DIR/after"
}

# The program thread is the first thread the process starts (the window thread is the process).
program_thread() { ls /proc/"$GAME_PID"/task | sort -n | grep -v "^$GAME_PID\$" | head -n 1; }
share_of() { awk -v task="$1" '$1 == task { print $2 }' "$2"; }
wakeups_of() { awk -v task="$1" '$1 == task { print $3 }' "$2"; }

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
  echo "idle over 10 s at the $phase: whole process $(share_of all "$WORK_DIR/$phase")% of one" \
    "core, $(wakeups_of all "$WORK_DIR/$phase") wake-ups a second; program thread" \
    "$(share_of "$program" "$WORK_DIR/$phase")%; by thread (task, % of a core, wake-ups/s):"
  grep -v '^all ' "$WORK_DIR/$phase" | sed 's/^/  /'
  awk -v p="$(share_of all "$WORK_DIR/$phase")" -v w="$(wakeups_of all "$WORK_DIR/$phase")" \
    'BEGIN { exit !(p <= 0.5 && w <= 20) }' ||
    fail "the game waiting at the $phase wakes $(wakeups_of all "$WORK_DIR/$phase") times a" \
      "second and uses $(share_of all "$WORK_DIR/$phase")% of a core (at most 20 and 0.5%)"
done

press_final_key Escape
wait_game_exit 10
[ "$GAME_STATUS" -eq 0 ] || fail "the game ended with status $GAME_STATUS after Esc"
echo "PASS"
