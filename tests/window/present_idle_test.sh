# The game waiting for a key with its window open and nothing changing costs little CPU. The
# presentation's own share (the window thread and the main loop thread, which prepares frames) is
# held under 1.5% of one core (about 0.8% is usual; a window that redrew every frame would cost
# 13% or more); the whole process's figure is printed beside it.
. "$(dirname "$0")/lib.sh"

ticks() { awk '{ print $14 + $15 }' "$1"; }

start_game
find_game_window Vostrandelimerix
sleep 2  # start-up, full-screen switch and first frames

# Threads in creation order: the window thread (the process itself), then the program, timer
# and main loop threads started before the window; the GL driver's come later.
tids=$(ls /proc/"$GAME_PID"/task | sort -n)
window_tid=$GAME_PID
main_loop_tid=$(echo "$tids" | grep -v "^$GAME_PID\$" | sed -n 3p)
[ -n "$main_loop_tid" ] || fail "cannot find the main loop thread"

hz=$(getconf CLK_TCK)
p0=$(ticks /proc/"$GAME_PID"/stat)
w0=$(ticks /proc/"$GAME_PID"/task/"$window_tid"/stat)
m0=$(ticks /proc/"$GAME_PID"/task/"$main_loop_tid"/stat)
sleep 10
p1=$(ticks /proc/"$GAME_PID"/stat)
w1=$(ticks /proc/"$GAME_PID"/task/"$window_tid"/stat)
m1=$(ticks /proc/"$GAME_PID"/task/"$main_loop_tid"/stat)

# Percent of one core over the 10 s.
percent() { awk -v t="$1" -v hz="$hz" 'BEGIN { printf "%.2f", t * 100 / (hz * 10) }'; }
process=$(percent $((p1 - p0)))
presentation=$(percent $((w1 - w0 + m1 - m0)))
echo "idle over 10 s: whole process ${process}% of one core; window + main loop threads ${presentation}%"
for task in /proc/"$GAME_PID"/task/*; do
  echo "  thread $(basename "$task") $(awk '{ print $2 }' "$task"/stat) $(ticks "$task"/stat) ticks in total"
done
awk -v p="$presentation" 'BEGIN { exit !(p < 1.5) }' || fail "presentation uses ${presentation}% of a core while idle"
echo "PASS"
